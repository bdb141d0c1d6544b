"""A small reader for TensorFlow Lite flatbuffers: just the tables and fields the
person-mask network uses, read with the flatbuffers runtime (no generated schema code)."""

import struct

import flatbuffers
import numpy as np
from flatbuffers.table import Table

# Builtin operator codes of the TFLite schema.
ADD = 0
AVERAGE_POOL_2D = 1
CONV_2D = 3
DEPTHWISE_CONV_2D = 4
DEQUANTIZE = 6
LOGISTIC = 14
MUL = 18
RELU = 19
RESIZE_BILINEAR = 23
CUSTOM = 32
MEAN = 40
HARD_SWISH = 117

# Tensor element types.
FLOAT32 = 0
FLOAT16 = 1
INT32 = 2

# Padding and fused activations.
PADDING_SAME = 0
ACTIVATION_NONE = 0
ACTIVATION_RELU = 1
ACTIVATION_RELU6 = 3


def _table(buf, pos):
    return Table(buf, pos)


def _offset(table, field):
    return table.Offset(4 + 2 * field)


def _scalar(table, field, kind, default=0):
    off = _offset(table, field)
    return table.Get(kind, off + table.Pos) if off else default


def _int_vector(table, field):
    off = _offset(table, field)
    if not off:
        return []
    start = table.Vector(off)
    return [table.Get(flatbuffers.number_types.Int32Flags, start + 4 * i)
            for i in range(table.VectorLen(off))]


def _byte_vector(table, field):
    off = _offset(table, field)
    if not off:
        return b""
    start = table.Vector(off)
    return bytes(table.Bytes[start:start + table.VectorLen(off)])


def _tables(table, field):
    off = _offset(table, field)
    if not off:
        return []
    start = table.Vector(off)
    return [_table(table.Bytes, table.Indirect(start + 4 * i)) for i in range(table.VectorLen(off))]


def _subtable(table, field):
    off = _offset(table, field)
    return _table(table.Bytes, table.Indirect(off + table.Pos)) if off else None


def _string(table, field):
    off = _offset(table, field)
    return table.String(off + table.Pos).decode() if off else ""


I8 = flatbuffers.number_types.Int8Flags
I32 = flatbuffers.number_types.Int32Flags
U32 = flatbuffers.number_types.Uint32Flags
BOOL = flatbuffers.number_types.BoolFlags


class Tensor:
    def __init__(self, table, buffers):
        self.shape = _int_vector(table, 0)
        self.type = _scalar(table, 1, I8)
        self.name = _string(table, 3)
        data = _byte_vector(buffers[_scalar(table, 2, U32)], 0)
        self.data = None
        if data:
            dtype = {FLOAT32: np.float32, FLOAT16: np.float16, INT32: np.int32}[self.type]
            self.data = np.frombuffer(data, dtype=dtype).reshape(self.shape)


class Operator:
    def __init__(self, table, codes):
        self.code, self.custom = codes[_scalar(table, 0, U32)]
        self.inputs = _int_vector(table, 1)
        self.outputs = _int_vector(table, 2)
        self._options = _subtable(table, 4)
        self.custom_options = _byte_vector(table, 5)

    def option(self, field, kind=I32, default=0):
        return _scalar(self._options, field, kind, default) if self._options else default


class Model:
    """The first subgraph of a .tflite file: tensors, operators, inputs, outputs."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = bytearray(f.read())
        root = _table(data, flatbuffers.encode.Get(flatbuffers.packer.uoffset, data, 0))
        codes = []
        for code in _tables(root, 1):
            builtin = max(_scalar(code, 0, I8), _scalar(code, 3, I32))
            codes.append((builtin, _string(code, 1)))
        buffers = _tables(root, 4)
        graph = _tables(root, 2)[0]
        self.tensors = [Tensor(t, buffers) for t in _tables(graph, 0)]
        self.inputs = _int_vector(graph, 1)
        self.outputs = _int_vector(graph, 2)
        self.operators = [Operator(op, codes) for op in _tables(graph, 3)]


def transpose_conv_options(raw):
    """Padding, stride width, stride height of the custom transposed convolution."""
    return struct.unpack("<3i", raw[:12])
