#!/usr/bin/env python3
"""windres writes control class names of a DIALOG template in upper case; put the
tree view's class back in the case it is registered with: fix-class-case.py IN OUT"""
import sys

upper = "SYSTREEVIEW32".encode("utf-16-le")
proper = "SysTreeView32".encode("utf-16-le")
data = open(sys.argv[1], "rb").read()
if data.count(upper) != 1:
    sys.exit("expected one tree-view class in %s" % sys.argv[1])
open(sys.argv[2], "wb").write(data.replace(upper, proper))
