#!/usr/bin/env python3
"""Writes one mesh of a million triangles, a grid of 1000 x 500 quads each split
into two triangles over 1001 x 501 shared corners, in two files of DIR:

  triangles.stl  binary STL: 1,000,000 facets, every corner written out
  triangles.glb  glTF 2.0 binary: one node, one mesh, one indexed primitive
                 (POSITION with its min/max, unsigned int indices)

Either file counts as 501,501 vertices and 1,000,000 triangles: STL's corners
join by position, the GLB's are stored once.

usage: bench/make-triangles.py DIR
"""
import json
import struct
import sys
from array import array
from pathlib import Path

COLUMNS, ROWS = 1000, 500  # quads
VERTICES = (COLUMNS + 1) * (ROWS + 1)
TRIANGLES = 2 * COLUMNS * ROWS


def grid():
    """Positions (flat x, y, z floats) and triangle corners (flat indices)."""
    positions = array("f")
    for row in range(ROWS + 1):
        for column in range(COLUMNS + 1):
            positions.extend((column * 0.01, row * 0.01, 0.0))
    indices = array("I")
    stride = COLUMNS + 1
    for row in range(ROWS):
        for column in range(COLUMNS):
            a = row * stride + column
            b, c, d = a + 1, a + stride + 1, a + stride
            indices.extend((a, b, c, a, c, d))  # counter-clockwise seen from +z
    return positions, indices


def little_endian(values):
    if sys.byteorder != "little":
        values = array(values.typecode, values)
        values.byteswap()
    return values.tobytes()


def write_stl(path, positions, indices):
    corner = [struct.pack("<3f", *positions[3 * i : 3 * i + 3]) for i in range(VERTICES)]
    normal = struct.pack("<3f", 0.0, 0.0, 1.0)
    with open(path, "wb") as out:
        out.write(b"veltrane bench: 1000 x 500 quads as triangles".ljust(80, b" "))
        out.write(struct.pack("<I", TRIANGLES))
        chunk = []
        for t in range(TRIANGLES):
            i = 3 * t
            chunk.append(
                normal + corner[indices[i]] + corner[indices[i + 1]] + corner[indices[i + 2]] + b"\0\0"
            )
            if len(chunk) == 65536:
                out.write(b"".join(chunk))
                chunk.clear()
        out.write(b"".join(chunk))


def write_glb(path, positions, indices):
    position_bytes = little_endian(positions)  # a multiple of 4: no padding between views
    index_bytes = little_endian(indices)
    binary = position_bytes + index_bytes
    gltf = {
        "asset": {"version": "2.0", "generator": "veltrane bench/make-triangles.py"},
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [{"name": "grid", "mesh": 0}],
        "meshes": [{"name": "triangles", "primitives": [{"attributes": {"POSITION": 0}, "indices": 1, "mode": 4}]}],
        "buffers": [{"byteLength": len(binary)}],
        "bufferViews": [
            {"buffer": 0, "byteOffset": 0, "byteLength": len(position_bytes), "target": 34962},
            {"buffer": 0, "byteOffset": len(position_bytes), "byteLength": len(index_bytes), "target": 34963},
        ],
        "accessors": [
            {
                "bufferView": 0,
                "componentType": 5126,  # float
                "count": VERTICES,
                "type": "VEC3",
                "min": [min(positions[axis::3]) for axis in range(3)],
                "max": [max(positions[axis::3]) for axis in range(3)],
            },
            {"bufferView": 1, "componentType": 5125, "count": len(indices), "type": "SCALAR"},  # unsigned int
        ],
    }
    text = json.dumps(gltf, separators=(",", ":")).encode("utf-8")
    text += b" " * (-len(text) % 4)  # chunks are 4-byte aligned: JSON pads with spaces,
    binary += b"\0" * (-len(binary) % 4)  # the binary chunk with zeros
    total = 12 + 8 + len(text) + 8 + len(binary)
    with open(path, "wb") as out:
        out.write(struct.pack("<III", 0x46546C67, 2, total))  # "glTF", version 2
        out.write(struct.pack("<II", len(text), 0x4E4F534A) + text)  # "JSON"
        out.write(struct.pack("<II", len(binary), 0x004E4942) + binary)  # "BIN\0"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip())
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    positions, indices = grid()
    # Written under a temporary name and renamed: an interrupted run leaves no
    # file that a later run would take as complete.
    for name, write in (("triangles.stl", write_stl), ("triangles.glb", write_glb)):
        partial = out / (name + ".partial")
        write(partial, positions, indices)
        partial.replace(out / name)


if __name__ == "__main__":
    main()
