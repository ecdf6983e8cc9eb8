"""The "OpenGL" section of the real program. On the display: the version line and
the renderer node, which holds the vendor, the display modes of the screen and the
222 checklist lines, each telling truly whether the context's extension string has
the name. Without any X display: no context, so "OpenGL" is a leaf and the file
goes straight on to "Memory"."""
import os
import unittest
import re
import subprocess

from harness import (BUILD, ROOT, SHOW_TIMEOUT, WINTOOL, E2ETestCase, Run, escape_run, file_lines, main,
                     parse_tree, wine, without_display)

GL_DUMP = os.path.join(BUILD, "tests", "tools", "gl_extensions_dump.exe")
CHECKLIST_SOURCE = os.path.join(ROOT, "probes", "graphics", "gl_extensions.cpp")


def checklist_names():
    """The rows of GLExtensionChecklist, in the order of its source."""
    with open(CHECKLIST_SOURCE, "rb") as f:
        source = f.read()
    body = re.search(rb"GLExtensionChecklist\[[^\]]*\] = \{(.*?)\};", source, re.S).group(1)
    return re.findall(rb'"([^"]*)"', body)


def gl_facts(env=None):
    """What a context made like the program's own answers, from a separate process."""
    result = wine(GL_DUMP, env=env)
    facts = {"modes": []}
    for line in result.stdout.replace(b"\r\n", b"\n").split(b"\n"):
        key, sep, value = line.partition(b"=")
        if not sep:
            continue
        if key == b"mode":
            facts["modes"].append(value)
        else:
            facts[key.decode()] = value
    return result.returncode, facts


def subtree(tree, index):
    """The items under tree[index], with depths relative to it."""
    depth = tree[index][0]
    items = []
    for item in tree[index + 1:]:
        if item[0] <= depth:
            break
        items.append((item[0] - depth - 1,) + item[1:])
    return items


def children(items):
    return [i for i, item in enumerate(items) if item[0] == 0]


def opengl_root(tree):
    roots = [i for i, item in enumerate(tree) if item[0] == 0 and item[3] == b"OpenGL"]
    assert len(roots) == 1, "no single OpenGL node"
    return roots[0]


def screen_size():
    out = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True, check=True).stdout
    width, height = out.split()
    return width, height


class OpenGLTest(E2ETestCase):
    def assertGoesStraightToMemory(self, tree, data):
        lines = file_lines(data)
        self.assertEqual(lines[lines.index(b"OpenGL") + 1], b"Memory")
        root = opengl_root(tree)
        self.assertEqual(tree[root][2], 0, "OpenGL has children")
        self.assertEqual(subtree(tree, root), [])

    def test_section_on_the_display(self):
        self.assertTrue(os.path.exists(GL_DUMP), "build the gl_extensions_dump tool first")
        tree, code, data = escape_run()
        self.assertEqual(code, 0)
        code, facts = gl_facts()
        self.assertReportMatchesTree(tree, data)
        if code != 0:
            self.assertGoesStraightToMemory(tree, data)
            self.skipTest("no OpenGL context on this display; only the leaf was checked")

        section = subtree(tree, opengl_root(tree))
        top = children(section)
        self.assertEqual([section[i][3] for i in top], [b"Version: " + facts["version"], facts["renderer"]])
        renderer = subtree(section, top[1])
        under = children(renderer)
        self.assertEqual([renderer[i][3] for i in under],
                         [b"Vendor: " + facts["vendor"], b"Display modes (" + facts["device"] + b")", b"Caps"])

        modes = subtree(renderer, under[1])
        self.assertEqual([m[3] for m in modes], facts["modes"])
        self.assertTrue(all(m[0] == 0 for m in modes))
        width, height = screen_size()
        shape = re.compile(rb"^%sx%s @ -?\d+ Hz \d+ bpp$" % (width, height))
        self.assertTrue(any(shape.match(m[3]) for m in modes), "the screen's own size is not listed")

        caps = subtree(renderer, under[2])
        self.assertTrue(all(c[0] == 0 for c in caps))
        names = checklist_names()
        self.assertEqual(len(names), 222)
        tokens = set(facts["extensions"].split(b" ")) - {b""}
        words = []
        for (_, _, _, line), name in zip(caps, names):
            word = line[len(name):]
            self.assertTrue(line.startswith(name) and word in (b":present", b":not available"), line)
            self.assertEqual(word == b":present", name in tokens, line)
            words.append(word)
        self.assertEqual(len(caps), 222)
        present = words.count(b":present")
        print("OpenGL: %s; %d modes; %d of 222 present" % (facts["renderer"].decode(), len(modes), present))

        lines = file_lines(data)
        start = lines.index(b"Caps") + 1
        self.assertEqual(lines[start:start + 222], [c[3] for c in caps])
        self.assertEqual(lines[start + 222], b"Memory", "the checklist does not close the section")

    def test_without_any_display(self):
        with without_display() as env:
            with Run(env=env) as run:
                shown = wine(WINTOOL, "wait-shown", str(int(SHOW_TIMEOUT * 1000)), env=env,
                             timeout=SHOW_TIMEOUT + 60)
                self.assertEqual(shown.returncode, 0, "the dialog was not shown")
                listed = wine(WINTOOL, "tree", env=env)
                self.assertEqual(listed.returncode, 0, "cannot read the tree")
                tree = parse_tree(listed.stdout)
                self.assertEqual(wine(WINTOOL, "close", env=env).returncode, 0)
                self.assertEqual(run.wait_exit(), 0)
                data = run.report()
        self.assertSectionsAtRoot(tree)
        self.assertReportMatchesTree(tree, data)
        self.assertGoesStraightToMemory(tree, data)


if __name__ == "__main__":
    main()
