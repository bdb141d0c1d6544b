"""Converts the person-mask network from TensorFlow Lite to ONNX for OpenCV's DNN module,
which has no TFLite importer in the Debian 12 version.

The graph is rewritten from the TFLite layout (NHWC) to ONNX's (NCHW): input "input"
[1, 3, H, W] with RGB in [0, 1], output "output" [1, 1, H, W], the person probability.
Half-precision weights behind DEQUANTIZE are folded into float32 constants.

usage: convert_selfie.py IN.tflite OUT.onnx [CHECK.bin]

The node before the final sigmoid is named "logits". With CHECK.bin, also runs the TFLite
graph through the NumPy interpreter in tflite_reference.py on a fixed input and writes the
input and the expected logits there (float32, NCHW, one after the other), so the converted
network can be compared with it where the values still vary (the probabilities of a
made-up image are all close to 0).
"""

import sys

import numpy as np
import onnx
from onnx import TensorProto, helper, numpy_helper

import tflite_reader as tfl
import tflite_reference


class Converter:
    def __init__(self, model):
        self.model = model
        self.nodes = []
        self.initializers = []
        self.constants = {}  # tensor index -> float32 array in the TFLite layout
        self.counter = 0
        self.logits = logits_tensor(model)

    def fresh(self, stem):
        self.counter += 1
        return f"{stem}_{self.counter}"

    def name(self, index):
        return "logits" if index == self.logits else f"t{index}"

    def shape(self, index):
        return self.model.tensors[index].shape

    def constant(self, index):
        if index in self.constants:
            return self.constants[index]
        data = self.model.tensors[index].data
        return None if data is None else data.astype(np.float32)

    def add_initializer(self, array, stem):
        name = self.fresh(stem)
        self.initializers.append(numpy_helper.from_array(np.ascontiguousarray(array), name))
        return name

    def operand(self, index):
        """An input of an elementwise node: a tensor of the graph, or a constant in NCHW."""
        value = self.constant(index)
        if value is None:
            return self.name(index)
        if value.ndim == 4:
            value = value.transpose(0, 3, 1, 2)
        elif value.ndim == 1 and value.size > 1:
            value = value.reshape(1, -1, 1, 1)
        return self.add_initializer(value.astype(np.float32), "const")

    def node(self, op, inputs, outputs, **attrs):
        self.nodes.append(helper.make_node(op, inputs, outputs, **attrs))

    def activation(self, op, output):
        fused = op.option(self.fused_field(op), tfl.I8)
        if fused == tfl.ACTIVATION_NONE:
            return output
        raw = self.fresh("pre_activation")
        if fused == tfl.ACTIVATION_RELU:
            self.node("Relu", [raw], [output])
        elif fused == tfl.ACTIVATION_RELU6:
            self.node("Clip", [raw, self.add_initializer(np.array(0, np.float32), "lo"),
                               self.add_initializer(np.array(6, np.float32), "hi")], [output])
        else:
            sys.exit(f"unsupported fused activation {fused}")
        return raw

    @staticmethod
    def fused_field(op):
        return {tfl.CONV_2D: 3, tfl.DEPTHWISE_CONV_2D: 4, tfl.AVERAGE_POOL_2D: 5,
                tfl.ADD: 0, tfl.MUL: 0}[op.code]

    def same_pads(self, in_hw, out_hw, kernel, stride):
        pads_begin, pads_end = [], []
        for size, out, k, s in zip(in_hw, out_hw, kernel, stride):
            total = max((out - 1) * s + k - size, 0)
            pads_begin.append(total // 2)
            pads_end.append(total - total // 2)
        return pads_begin + pads_end

    def convolution(self, op, depthwise):
        x, w, b = op.inputs
        weights = self.constant(w)
        kh, kw = weights.shape[1:3]
        stride = [op.option(2), op.option(1)]
        in_shape, out_shape = self.shape(x), self.shape(op.outputs[0])
        if depthwise:
            dilation = [op.option(6, default=1), op.option(5, default=1)]
            channels = in_shape[3]
            kernel = weights[0].transpose(2, 0, 1)[:, None, :, :]  # [C, 1, kh, kw]
            group = channels
        else:
            dilation = [op.option(5, default=1), op.option(4, default=1)]
            kernel = weights.transpose(0, 3, 1, 2)  # [O, I, kh, kw]
            group = 1
        if dilation != [1, 1]:
            sys.exit("dilated convolutions are not supported")
        padding = op.option(0, tfl.I8)
        pads = (self.same_pads(in_shape[1:3], out_shape[1:3], (kh, kw), stride)
                if padding == tfl.PADDING_SAME else [0, 0, 0, 0])
        inputs = [self.name(x), self.add_initializer(kernel, "w")]
        if b >= 0:
            inputs.append(self.add_initializer(self.constant(b), "b"))
        out = self.activation(op, self.name(op.outputs[0]))
        self.node("Conv", inputs, [out], kernel_shape=[kh, kw], strides=stride, pads=pads,
                  group=group)

    def transposed_convolution(self, op):
        x, w, b = op.inputs
        padding, stride_w, stride_h = tfl.transpose_conv_options(op.custom_options)
        weights = self.constant(w)  # [O, kh, kw, I]
        kh, kw = weights.shape[1:3]
        in_hw, out_hw = self.shape(x)[1:3], self.shape(op.outputs[0])[1:3]
        pads_begin, pads_end = [], []
        for size, out, k, s in zip(in_hw, out_hw, (kh, kw), (stride_h, stride_w)):
            total = (size - 1) * s + k - out
            if total < 0:
                sys.exit("transposed convolution needs output padding")
            pads_begin.append(total // 2)
            pads_end.append(total - total // 2)
        # The custom options' padding enumeration: 1 = same, 2 = valid (no padding).
        if padding == 2 and any(pads_begin + pads_end):
            sys.exit("valid transposed convolution with a size change")
        self.node("ConvTranspose",
                  [self.name(x), self.add_initializer(weights.transpose(3, 0, 1, 2), "w"),
                   self.add_initializer(self.constant(b), "b")],
                  [self.name(op.outputs[0])], kernel_shape=[kh, kw],
                  strides=[stride_h, stride_w], pads=pads_begin + pads_end)

    def convert(self):
        for op in self.model.operators:
            out = self.name(op.outputs[0])
            if op.code == tfl.DEQUANTIZE:
                self.constants[op.outputs[0]] = self.model.tensors[op.inputs[0]].data.astype(
                    np.float32)
            elif op.code == tfl.CONV_2D:
                self.convolution(op, depthwise=False)
            elif op.code == tfl.DEPTHWISE_CONV_2D:
                self.convolution(op, depthwise=True)
            elif op.code == tfl.CUSTOM and op.custom == "Convolution2DTransposeBias":
                self.transposed_convolution(op)
            elif op.code in (tfl.ADD, tfl.MUL):
                raw = self.activation(op, out)
                self.node("Add" if op.code == tfl.ADD else "Mul",
                          [self.operand(i) for i in op.inputs], [raw])
            elif op.code == tfl.RELU:
                self.node("Relu", [self.name(op.inputs[0])], [out])
            elif op.code == tfl.HARD_SWISH:
                self.node("HardSwish", [self.name(op.inputs[0])], [out])
            elif op.code == tfl.LOGISTIC:
                self.node("Sigmoid", [self.name(op.inputs[0])], [out])
            elif op.code == tfl.MEAN:
                axes = self.constant(op.inputs[1]).astype(int).tolist()
                if sorted(axes) != [1, 2] or not op.option(0, tfl.BOOL):
                    sys.exit("only a spatial mean that keeps its dimensions is supported")
                self.node("GlobalAveragePool", [self.name(op.inputs[0])], [out])
            elif op.code == tfl.AVERAGE_POOL_2D:
                in_shape, out_shape = self.shape(op.inputs[0]), self.shape(op.outputs[0])
                kernel = [op.option(4), op.option(3)]
                stride = [op.option(2), op.option(1)]
                if op.option(0, tfl.I8) == tfl.PADDING_SAME:
                    pads = self.same_pads(in_shape[1:3], out_shape[1:3], kernel, stride)
                else:
                    pads = [0, 0, 0, 0]
                if any(pads):
                    sys.exit("padded average pooling is not supported")
                raw = self.activation(op, out)
                self.node("AveragePool", [self.name(op.inputs[0])], [raw], kernel_shape=kernel,
                          strides=stride)
            elif op.code == tfl.RESIZE_BILINEAR:
                align_corners, half_pixel = op.option(2, tfl.BOOL), op.option(3, tfl.BOOL)
                mode = ("half_pixel" if half_pixel else
                        "align_corners" if align_corners else "asymmetric")
                n, h, w, c = self.shape(op.outputs[0])
                sizes = self.add_initializer(np.array([n, c, h, w], np.int64), "sizes")
                self.node("Resize", [self.name(op.inputs[0]), "", "", sizes], [out],
                          mode="linear", coordinate_transformation_mode=mode)
            else:
                sys.exit(f"unsupported operator {op.code} {op.custom}")

        (image,) = self.model.inputs
        (mask,) = self.model.outputs
        n, h, w, c = self.shape(image)
        self.node("Identity", [self.name(mask)], ["output"])
        self.nodes.insert(0, helper.make_node("Identity", ["input"], [self.name(image)]))
        graph = helper.make_graph(
            self.nodes, "person_mask",
            [helper.make_tensor_value_info("input", TensorProto.FLOAT, [n, c, h, w])],
            [helper.make_tensor_value_info("output", TensorProto.FLOAT, [n, 1, h, w])],
            self.initializers)
        model = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 14)])
        onnx.checker.check_model(model)
        return model


def logits_tensor(model):
    """The tensor that the final LOGISTIC turns into the person probability."""
    for op in model.operators:
        if op.code == tfl.LOGISTIC and op.outputs[0] in model.outputs:
            return op.inputs[0]
    sys.exit("the output is not a logistic")


def check_input(height, width):
    """A fixed image: smooth colour ramps with a bright disc and some noise."""
    y, x = np.mgrid[0:height, 0:width].astype(np.float32)
    disc = ((x - width / 2) ** 2 + (y - height / 2) ** 2 < (height / 3) ** 2).astype(np.float32)
    noise = np.random.RandomState(7).rand(height, width, 3).astype(np.float32)
    image = np.stack([x / width, y / height, disc], axis=-1) * 0.8 + noise * 0.2
    return image[None].astype(np.float32)  # NHWC


def main(source, target, check=None):
    model = tfl.Model(source)
    onnx.save(Converter(model).convert(), target)
    if check:
        _, h, w, _ = model.tensors[model.inputs[0]].shape
        image = check_input(h, w)
        expected = tflite_reference.run(model, image, logits_tensor(model))
        with open(check, "wb") as f:
            f.write(image.transpose(0, 3, 1, 2).astype(np.float32).tobytes())
            f.write(expected.transpose(0, 3, 1, 2).astype(np.float32).tobytes())


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    main(*sys.argv[1:])
