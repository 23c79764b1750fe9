#!/usr/bin/env python3
"""Writes the seed corpus of the file readers' fuzz targets: small valid (and a few
nearly valid) files of every variant a reader knows, one folder per target.

    make-fuzz-seeds.py OUTDIR

A new target adds one generator function and one line in SEEDS.
"""
import os
import struct
import sys

# ---------------------------------------------------------------- text point files
# The text target reads the first byte as the choice of suffix: 0 .xyz, 1 .xyzc,
# 2 .pts, 3 .asc.
XYZ, XYZC, PTS, ASC = 0, 1, 2, 3


def text_seeds():
    xyz = {
        "plain": "1 2 3\n4 5 6\n7.25 -8.5 9e-3\n",
        "comma_decimals": "1,5;2.5e1\t-3\n0,125 0,25 0,5\n",
        "exponents": "1E3 -2e-2 +3.5E+1\n1e308 -1e-300 4e-320\n",
        "crlf": "1 2 3\r\n4 5 6\r\n",
        "header": "X Y Z\n1 2 3\n4 5 6\n",
        "no_final_newline": "1 2 3\n4 5 6",
        "blank_lines": "\n\n1 2 3\n\n \t \n4 5 6\n",
        "trailing_text": "12abc 3 4\n1 2 3 extra tokens here\n",
        "empty": "",
        "long_first_line": "1 " * 140 + "\n2 3 4\n",
        "signs": "-0 +0 -.5\n.5 5. -1.e2\n",
    }
    xyzc = {
        "plain": "1 2 3 255 0 128\n4 5 6 10 20 30\n",
        "colour_wrap": "1 2 3 300 -1 256\n",
        "header": "X Y Z R G B\n1 2 3 4 5 6\n",
        "seven_columns": "1 2 3 4 5 6 7\n1 2 3 9 9 9 9\n",
        "five_columns": "1 2 3 4 5\n",
        "bad_line_stops": "1 2 3 4 5 6\nx y z r g b\n7 8 9 1 2 3\n",
        "crlf": "1;2;3;4;5;6\r\n7,5 8 9 1 2 3\r\n",
    }
    pts = {
        "plain": "2\n1 2 3 -1500 255 0 0\n4 5 6 12 0 255 0\n",
        "six_tokens": "1\n1 2 3 4 5 6\n",
        "empty": "",
        "count_only": "0\n",
        "crlf": "1\r\n1,5 2 3 0 1 2 3\r\n",
    }
    asc = {
        "three_columns": "1 2 3\n4 5 6\n",
        "seven_columns": "1 2 3 0 10 20 30\n4 5 6 0 1 2 3\n",
        "two_columns": "1 2\n3 4\n",
        "six_columns_tabs": "1\t2\t3\t4\t5\t6\n",
    }
    out = {}
    for selector, table in ((XYZ, xyz), (XYZC, xyzc), (PTS, pts), (ASC, asc)):
        suffix = ("xyz", "xyzc", "pts", "asc")[selector]
        for name, text in table.items():
            out[f"{suffix}_{name}"] = bytes([selector]) + text.encode("latin-1")
    return out


# ---------------------------------------------------------------- .psl profiles
def psl_file(profiles, count=None):
    """profiles: list of profiles, each a list of segments, each a list of points."""
    header = bytearray(512)
    struct.pack_into("<i", header, 136, len(profiles) if count is None else count)
    data = bytes(header)
    for segments in profiles:
        ph = bytearray(64)
        struct.pack_into("<i", ph, 0, len(segments))
        data += bytes(ph)
        for points in segments:
            sh = bytearray(64)
            struct.pack_into("<i", sh, 0, len(points))
            data += bytes(sh)
            for p in points:
                data += struct.pack("<3f", *p)
    return data


def psl_seeds():
    pts = [(1.0, 2.0, 3.0), (-4.5, 0.25, 1e6)]
    return {
        "no_profiles": psl_file([]),
        "one_point": psl_file([[[(1.0, 2.0, 3.0)]]]),
        "two_profiles": psl_file([[pts, []], [[(7.0, 8.0, 9.0)] * 3]]),
        "empty_segments": psl_file([[[], []], []]),
        "negative_count": psl_file([], count=-1),
        "count_too_large": psl_file([[pts]], count=5),
        "short_header": b"\0" * 200,
        "truncated_points": psl_file([[pts]])[:-5],
    }


# ---------------------------------------------------------------- STL
def ascii_facet(a, b, c, normal=(0, 0, 1), fmt="{:g}"):
    def v(p):
        return " ".join(fmt.format(x) for x in p)
    return (f"  facet normal {v(normal)}\n    outer loop\n"
            f"      vertex {v(a)}\n      vertex {v(b)}\n      vertex {v(c)}\n"
            "    endloop\n  endfacet\n")


def stl_ascii_seeds():
    tri = ((0, 0, 0), (1, 0, 0), (0, 1, 0))
    tri2 = ((1, 1, 1), (2, 1.5, -3), (0.125, 1e-3, 4e2))
    body = ascii_facet(*tri) + ascii_facet(*tri2)
    return {
        "two_facets": ("solid part\n" + body + "endsolid part\n").encode(),
        "no_name": ("solid\n" + ascii_facet(*tri) + "endsolid\n").encode(),
        "exponents": ("solid e\n" + ascii_facet((1e3, -2.5E-2, 3e+1), (1, 2, 3), (4, 5, 6),
                                                fmt="{:e}") + "endsolid e\n").encode(),
        "crlf": ("solid c\r\n" + body.replace("\n", "\r\n") + "endsolid c\r\n").encode(),
        "one_line": ("solid flat " + body.replace("\n", " ") + " endsolid flat").encode(),
        "blank_lines": ("solid b\n\n" + body.replace("\n", "\n\n") + "endsolid b\n").encode(),
        "two_solids": ("solid a\n" + ascii_facet(*tri) + "endsolid a\nsolid b\n" +
                       ascii_facet(*tri2) + "endsolid b\n").encode(),
        "no_endsolid": ("solid open\n" + ascii_facet(*tri)).encode(),
        "empty_solid": b"solid nothing\nendsolid nothing\n",
        "truncated_facet": ("solid t\n" + ascii_facet(*tri)[:60]).encode(),
        "bad_number": ("solid n\n" + ascii_facet(*tri).replace("vertex 1 0 0", "vertex 1 x 0")
                       + "endsolid n\n").encode(),
        "tabs_upper": ("SOLID T\n" + body.replace(" ", "\t").upper() + "ENDSOLID T\n").encode(),
    }


def binary_stl(triangles, header=b"tessaro fuzz seed", count=None):
    data = header.ljust(80, b"\0")[:80]
    data += struct.pack("<I", len(triangles) if count is None else count)
    for a, b, c in triangles:
        data += struct.pack("<12fH", 0, 0, 1, *a, *b, *c, 0)
    return data


def stl_binary_seeds():
    tri = ((0, 0, 0), (1, 0, 0), (0, 1, 0))
    tri2 = ((1, 1, 1), (2, 1.5, -3), (0.125, 1e-3, 4e2))
    return {
        "empty": binary_stl([]),
        "one": binary_stl([tri]),
        "two": binary_stl([tri, tri2]),
        "header_solid": binary_stl([tri, tri2], header=b"solid but binary"),
        "count_mismatch": binary_stl([tri], count=7),
        "count_huge": binary_stl([tri], count=0xFFFFFFFF),
        "trailing_byte": binary_stl([tri]) + b"\0",
        "short": b"\0" * 83,
        "nan_inf": binary_stl([((float("nan"), float("inf"), -0.0), tri[1], tri[2])]),
    }


# ---------------------------------------------------------------- .scn IFF
def chunk(ident, payload):
    data = ident + struct.pack(">I", len(payload)) + payload
    return data + (b"\0" if len(payload) % 2 else b"")


def group(ident, kind, children):
    return chunk(ident, kind + b"".join(children))


def scdi(version=1, value=-5, strings=(b"operator", b"part 7"), value64=None):
    data = b"\0\0\0\0" + bytes([version]) + struct.pack("<iI", value, len(strings))
    data += b"".join(s + b"\0" for s in strings)
    if version >= 3:
        data += struct.pack("<q", value64 if value64 is not None else 1 << 40)
    return chunk(b"SCDI", data)


def scdo(flag=0):
    big = flag == 1
    def counted(values):
        fmt = ">I%dd" % len(values) if big else "<I%dd" % len(values)
        return struct.pack(fmt, len(values), *values)
    sample = struct.pack("<6d3I", 1, 2, 3, 4, 5, 6, 7, 8, 9)
    sample += counted([0.5, 1.5]) + counted([2.5])
    sensor = struct.pack("<HHI", 3, 4, 2) + sample + sample
    scanner = b"scanner A\0" + struct.pack("<HI", 9, 1) + sensor
    empty_scanner = b"\0" + struct.pack("<HI", 0, 0)
    return chunk(b"SCDO", bytes([flag]) + struct.pack("<I", 2) + scanner + empty_scanner)


def scdp(lists):
    data = b"\0\0\0\0" + struct.pack("<I", len(lists))
    for pts in lists:
        data += struct.pack("<I", len(pts))
        for p in pts:
            data += struct.pack("<3d", *p)
    return chunk(b"SCDP", data)


def scn_iff_seeds():
    three = [(1.0, 2.0, 3.0), (4.0, 5.0, 6.0), (-1.0, 0.5, 1e9)]
    five = [(float(i), 2.0 * i, -i) for i in range(5)]
    full = [scdi(), scdo(), scdp([three, five]), chunk(b"SCNS", b"scan name\0")]
    return {
        "full": group(b"FORM", b"SCN ", full),
        "version3": group(b"FORM", b"SCN ", [scdi(version=3), scdo(), scdp([three])]),
        "big_endian_samples": group(b"FORM", b"SCN ", [scdi(), scdo(flag=1), scdp([five])]),
        "only_info": group(b"FORM", b"SCN ", [scdi(), scdo()]),
        "odd_chunks": group(b"FORM", b"SCN ", [chunk(b"ABCD", b"odd"), scdi(strings=(b"x",)),
                                               chunk(b"SCDQ", b"\1\2\3"), scdo(),
                                               chunk(b"    ", b"\0"), scdp([three]),
                                               chunk(b"SCNS", b"odd\0")]),
        "nested_groups": group(b"FORM", b"SCN ", [
            group(b"LIST", b"ABCD", [group(b"PROP", b"ABCD", [chunk(b"SCDI", b"")]),
                                     group(b"CAT ", b"    ", [chunk(b"XXXX", b"12")])]),
            scdi(), scdo(), scdp([three, []]), chunk(b"SCNS", b"n\0")]),
        "wrong_type": group(b"FORM", b"ABCD", full),
        "list_root": group(b"LIST", b"SCN ", full),
        "child_past_parent": group(b"FORM", b"SCN ", [scdi()])[:-3],
        "empty_lists": group(b"FORM", b"SCN ", [scdi(strings=()), scdo(), scdp([[], []])]),
    }


# ---------------------------------------------------------------- .scn SCNBIN
def sstr(s):
    return struct.pack("<I", len(s)) + s


def scnbin(version=2, mark=0x10203040, points=None, signature=b"SCNBIN"):
    if points is None:
        points = [[(1.0, 2.0, 3.0)], [(4.0, 5.0, 6.0), (7.0, 8.0, 9.0)]]
    data = signature + bytes([version]) + struct.pack("<Ii", mark, -3)
    data += struct.pack("<I", 2) + sstr(b"operator") + sstr(b"")
    data += struct.pack("<I", 1) + sstr(b"entry") + struct.pack("<HI", 1, 2)
    data += struct.pack("<I", 2) + struct.pack("<HHIIHBB", 1, 2, 3, 4, 5, 6, 7) * 2
    data += struct.pack("<I", len(points))
    for pts in points:
        data += struct.pack("<I", len(pts)) + b"".join(struct.pack("<3d", *p) for p in pts)
    data += struct.pack("<I", 2) + struct.pack("<I2d", 2, 0.5, 1.5) + struct.pack("<I", 0)
    data += struct.pack("<I", 1) + struct.pack("<3d", 1, 2, 3)
    return data


def scn_bin_seeds():
    return {
        "version2": scnbin(),
        "version0": scnbin(version=0),
        "no_points": scnbin(points=[]),
        "empty_lists": scnbin(points=[[], []]),
        "version3": scnbin(version=3),
        "wrong_mark": scnbin(mark=0x40302010),
        "short_signature": scnbin(signature=b"SCNBxx"),
        "truncated": scnbin()[:60],
    }


# ---------------------------------------------------------------- PLY
def ply_header(fmt, elements, comments=(b"comment seed", b"obj_info seed")):
    lines = [b"ply", b"format " + fmt + b" 1.0", *comments]
    for name, count, props in elements:
        lines.append(b"element %s %d" % (name, count))
        lines.extend(b"property " + p for p in props)
    lines.append(b"end_header")
    return b"\n".join(lines) + b"\n"


XYZ_FLOAT = [b"float x", b"float y", b"float z"]
XYZ_DOUBLE = [b"double x", b"double y", b"double z"]
COLOUR = [b"uchar red", b"uchar green", b"uchar blue"]
NORMAL = [b"float nx", b"float ny", b"float nz"]
FACE = [b"list uchar int vertex_indices"]
SQUARE = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)]


def ply_ascii_cloud():
    head = ply_header(b"ascii", [(b"vertex", 3, XYZ_FLOAT + NORMAL + COLOUR + [b"float quality"])])
    body = b"0 0 0 0 0 1 255 0 0 0.5\n1 0 0 0 0 1 0 255 0 1e-3\n0 1 0 0 0 1 0 0 255 -2\n"
    return head + body


def ply_binary_cloud(order, fmt):
    head = ply_header(fmt, [(b"vertex", 4, XYZ_DOUBLE + COLOUR)])
    body = b"".join(struct.pack(order + "dddBBB", *p, 10, 20, 30) for p in SQUARE)
    return head + body


def ply_binary_mesh(order, fmt, index="i", list_type=b"list uchar int vertex_indices"):
    head = ply_header(fmt, [(b"vertex", 4, XYZ_FLOAT), (b"face", 2, [list_type])])
    body = b"".join(struct.pack(order + "fff", *p) for p in SQUARE)
    for face in ((0, 1, 2), (0, 2, 3)):
        body += struct.pack(order + "B" + index * 3, 3, *face)
    return head + body


def ply_seeds():
    quad = ply_header(b"ascii", [(b"vertex", 5, XYZ_FLOAT), (b"face", 2, FACE)])
    quad += b"".join(b"%g %g %g\n" % p for p in SQUARE + [(2, 0.5, 0)])
    quad += b"4 0 1 2 3\n3 1 4 2\n"
    return {
        "ascii_cloud": ply_ascii_cloud(),
        "le_cloud": ply_binary_cloud("<", b"binary_little_endian"),
        "be_cloud": ply_binary_cloud(">", b"binary_big_endian"),
        "le_mesh": ply_binary_mesh("<", b"binary_little_endian"),
        "be_mesh_ushort": ply_binary_mesh(">", b"binary_big_endian", "H",
                                          b"list uchar ushort vertex_index"),
        "ascii_polygons": quad,
        "truncated_body": ply_binary_mesh("<", b"binary_little_endian")[:-5],
        "huge_count": ply_header(b"binary_little_endian", [(b"vertex", 2**62, XYZ_FLOAT)]),
    }


SEEDS = {
    "text": text_seeds,
    "psl": psl_seeds,
    "stl_ascii": stl_ascii_seeds,
    "stl_binary": stl_binary_seeds,
    "scn_iff": scn_iff_seeds,
    "scn_bin": scn_bin_seeds,
    "ply": ply_seeds,
}


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for target, make in SEEDS.items():
        folder = os.path.join(sys.argv[1], target)
        os.makedirs(folder, exist_ok=True)
        for name, data in make().items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
