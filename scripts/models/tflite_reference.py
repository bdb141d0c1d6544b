"""A plain NumPy interpreter for the TFLite operators of the person-mask network, written
from the operators' definitions in the TFLite layout (NHWC). It is slow and exists only to
check the converted ONNX network against."""

import numpy as np

import tflite_reader as tfl


def _same_pad(size, out, k, s):
    total = max((out - 1) * s + k - size, 0)
    return total // 2, total - total // 2


def _patches(x, kh, kw, sh, sw, out_h, out_w, pads):
    """[N, out_h, out_w, kh, kw, C] windows of a zero-padded NHWC tensor."""
    (top, bottom), (left, right) = pads
    padded = np.pad(x, ((0, 0), (top, bottom), (left, right), (0, 0)))
    windows = np.empty((x.shape[0], out_h, out_w, kh, kw, x.shape[3]), np.float32)
    for i in range(kh):
        for j in range(kw):
            windows[:, :, :, i, j, :] = padded[:, i:i + sh * out_h:sh, j:j + sw * out_w:sw, :]
    return windows


def _pads(op, x, out_shape, kh, kw, sh, sw):
    if op.option(0, tfl.I8) != tfl.PADDING_SAME:
        return (0, 0), (0, 0)
    return (_same_pad(x.shape[1], out_shape[1], kh, sh),
            _same_pad(x.shape[2], out_shape[2], kw, sw))


def _activate(op, field, y):
    fused = op.option(field, tfl.I8)
    if fused == tfl.ACTIVATION_RELU:
        return np.maximum(y, 0)
    if fused == tfl.ACTIVATION_RELU6:
        return np.clip(y, 0, 6)
    return y


def _bilinear(x, out_h, out_w, half_pixel):
    def axis(size, out):
        scale = size / out
        src = (np.arange(out) + 0.5) * scale - 0.5 if half_pixel else np.arange(out) * scale
        src = np.clip(src, 0, size - 1)
        lo = np.floor(src).astype(int)
        hi = np.minimum(lo + 1, size - 1)
        return lo, hi, (src - lo).astype(np.float32)

    y0, y1, fy = axis(x.shape[1], out_h)
    x0, x1, fx = axis(x.shape[2], out_w)
    rows = x[:, y0] * (1 - fy)[None, :, None, None] + x[:, y1] * fy[None, :, None, None]
    return rows[:, :, x0] * (1 - fx)[None, None, :, None] + rows[:, :, x1] * fx[None, None, :, None]


def run(model, image, result):
    """The value of tensor `result` for an NHWC float32 `image`."""
    values = {}

    def get(index):
        if index in values:
            return values[index]
        return model.tensors[index].data.astype(np.float32)

    values[model.inputs[0]] = image.astype(np.float32)
    for op in model.operators:
        out_shape = model.tensors[op.outputs[0]].shape
        if op.code == tfl.DEQUANTIZE:
            y = get(op.inputs[0])
        elif op.code == tfl.CONV_2D:
            x, w, b = (get(i) for i in op.inputs)
            kh, kw = w.shape[1:3]
            sh, sw = op.option(2), op.option(1)
            windows = _patches(x, kh, kw, sh, sw, out_shape[1], out_shape[2],
                               _pads(op, x, out_shape, kh, kw, sh, sw))
            y = _activate(op, 3, np.einsum("nhwijc,oijc->nhwo", windows, w) + b)
        elif op.code == tfl.DEPTHWISE_CONV_2D:
            x, w, b = (get(i) for i in op.inputs)
            kh, kw = w.shape[1:3]
            sh, sw = op.option(2), op.option(1)
            windows = _patches(x, kh, kw, sh, sw, out_shape[1], out_shape[2],
                               _pads(op, x, out_shape, kh, kw, sh, sw))
            y = _activate(op, 4, np.einsum("nhwijc,ijc->nhwc", windows, w[0]) + b)
        elif op.code == tfl.CUSTOM:
            # Transposed convolution: every input pixel spreads its kernel-weighted value over
            # a stride-spaced output window, then the bias is added.
            x, w, b = (get(i) for i in op.inputs)
            _, sw, sh = tfl.transpose_conv_options(op.custom_options)
            kh, kw = w.shape[1:3]
            n, h, wd, _ = x.shape
            full = np.zeros((n, (h - 1) * sh + kh, (wd - 1) * sw + kw, w.shape[0]), np.float32)
            for i in range(kh):
                for j in range(kw):
                    full[:, i:i + sh * h:sh, j:j + sw * wd:sw, :] += np.einsum(
                        "nhwc,oc->nhwo", x, w[:, i, j, :])
            top = (full.shape[1] - out_shape[1]) // 2
            left = (full.shape[2] - out_shape[2]) // 2
            y = full[:, top:top + out_shape[1], left:left + out_shape[2], :] + b
        elif op.code == tfl.ADD:
            y = _activate(op, 0, get(op.inputs[0]) + get(op.inputs[1]))
        elif op.code == tfl.MUL:
            y = _activate(op, 0, get(op.inputs[0]) * get(op.inputs[1]))
        elif op.code == tfl.RELU:
            y = np.maximum(get(op.inputs[0]), 0)
        elif op.code == tfl.HARD_SWISH:
            x = get(op.inputs[0])
            y = x * np.clip(x + 3, 0, 6) / 6
        elif op.code == tfl.LOGISTIC:
            y = 0.5 * (1 + np.tanh(get(op.inputs[0]) / 2))
        elif op.code == tfl.MEAN:
            y = get(op.inputs[0]).mean(axis=(1, 2), keepdims=True)
        elif op.code == tfl.AVERAGE_POOL_2D:
            x = get(op.inputs[0])
            kh, kw, sh, sw = op.option(4), op.option(3), op.option(2), op.option(1)
            windows = _patches(x, kh, kw, sh, sw, out_shape[1], out_shape[2], ((0, 0), (0, 0)))
            y = _activate(op, 5, windows.mean(axis=(3, 4)))
        elif op.code == tfl.RESIZE_BILINEAR:
            y = _bilinear(get(op.inputs[0]), out_shape[1], out_shape[2], op.option(3, tfl.BOOL))
        else:
            raise ValueError(f"operator {op.code} is not interpreted")
        values[op.outputs[0]] = y.astype(np.float32).reshape(out_shape)
        if op.outputs[0] == result:
            break
    return values[result]
