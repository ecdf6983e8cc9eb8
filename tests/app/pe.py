"""Just enough of the PE format to list an executable's resources and imports."""
import struct


class PE:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        assert d[pe:pe + 4] == b"PE\0\0"
        self.machine, nsections = struct.unpack_from("<HH", d, pe + 4)
        opt_size = struct.unpack_from("<H", d, pe + 20)[0]
        opt = pe + 24
        self.magic = struct.unpack_from("<H", d, opt)[0]
        self.subsystem = struct.unpack_from("<H", d, opt + 68)[0]
        dirs = opt + 96
        self.import_rva = struct.unpack_from("<I", d, dirs + 8)[0]
        self.resource_rva = struct.unpack_from("<I", d, dirs + 16)[0]
        self.sections = []
        sec = opt + opt_size
        for i in range(nsections):
            vsize, va, rsize, raw = struct.unpack_from("<IIII", d, sec + 40 * i + 8)
            self.sections.append((va, max(vsize, rsize), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError("rva %x outside sections" % rva)

    def cstring(self, off):
        return self.data[off:self.data.index(b"\0", off)].decode("latin-1")

    def imports(self):
        names = []
        off = self.offset(self.import_rva)
        while True:
            fields = struct.unpack_from("<IIIII", self.data, off)
            if fields[3] == 0:
                return names
            names.append(self.cstring(self.offset(fields[3])))
            off += 20

    def resources(self):
        """[(type, name, language, bytes)] with numeric ids as ints."""
        base = self.offset(self.resource_rva)
        out = []

        def entries(off):
            named, ids = struct.unpack_from("<HH", self.data, off + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, off + 16 + 8 * i)
                if name & 0x80000000:
                    p = base + (name & 0x7FFFFFFF)
                    n = struct.unpack_from("<H", self.data, p)[0]
                    name = self.data[p + 2:p + 2 + 2 * n].decode("utf-16-le")
                yield name, target

        for rtype, t in entries(base):
            for rname, n in entries(base + (t & 0x7FFFFFFF)):
                for lang, leaf in entries(base + (n & 0x7FFFFFFF)):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    off = self.offset(rva)
                    out.append((rtype, rname, lang, self.data[off:off + size]))
        return out
