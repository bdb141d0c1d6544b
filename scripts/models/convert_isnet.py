"""Turns the half-precision subject-mask network into one OpenCV's DNN module can run.

OpenCV 4.6 reads neither float16 tensors nor the quantised variant, so this script
    * widens every float16 weight and constant to float32 and drops the Cast nodes that
      moved data between the two precisions,
    * keeps only the final mask head ("output"; the side outputs only served training),
    * fixes the input to a square of SIZE pixels (a multiple of 64) and scales the
      interpolation targets that were written for 1024 × 1024 by SIZE / 1024.

usage: convert_isnet.py IN.onnx OUT.onnx SIZE
"""

import sys

import numpy as np
import onnx
from onnx import TensorProto, helper, numpy_helper

TRAINED_SIZE = 1024


def widen(tensor):
    if tensor.data_type != TensorProto.FLOAT16:
        return tensor
    wide = numpy_helper.from_array(numpy_helper.to_array(tensor).astype(np.float32), tensor.name)
    return wide


def main(source, target, size):
    if size <= 0 or size % 64:
        sys.exit(f"size must be a positive multiple of 64, not {size}")
    model = onnx.load(source)
    graph = model.graph

    for i, tensor in enumerate(graph.initializer):
        graph.initializer[i].CopyFrom(widen(tensor))

    # A Cast only converts between the two float precisions here: consumers read its input.
    alias = {}
    for node in graph.node:
        if node.op_type == "Cast":
            alias[node.output[0]] = node.input[0]

    def resolve(name):
        while name in alias:
            name = alias[name]
        return name

    producers = {out: node for node in graph.node for out in node.output}
    # The int64 constants that give Resize its output height and width.
    size_constants = set()
    for node in graph.node:
        if node.op_type == "Resize" and len(node.input) == 4:
            concat = producers.get(resolve(node.input[3]))
            if concat is None or concat.op_type != "Concat":
                sys.exit(f"unexpected Resize target for {node.name}")
            size_constants.add(resolve(concat.input[-1]))

    scaled = 0
    kept = []
    for node in graph.node:
        if node.op_type == "Cast":
            continue
        for i, name in enumerate(node.input):
            node.input[i] = resolve(name)
        if node.op_type == "Constant":
            value = node.attribute[0]
            value.t.CopyFrom(widen(value.t))
            if node.output[0] in size_constants:
                dims = numpy_helper.to_array(value.t)
                if np.any(dims * size % TRAINED_SIZE):
                    sys.exit(f"a target size {dims} does not scale to {size}")
                value.t.CopyFrom(numpy_helper.from_array(dims * size // TRAINED_SIZE, value.t.name))
                scaled += 1
        kept.append(node)
    if scaled != len(size_constants) or not scaled:
        sys.exit("the interpolation targets were not found")

    # The graph's outputs were Casts back to float32: name the mask head's producer "output".
    head = graph.output[0]
    if head.name != "output":
        sys.exit(f"first output is {head.name}, expected 'output'")
    head_source = resolve("output")
    for node in kept:
        for i, name in enumerate(node.output):
            if name == head_source:
                node.output[i] = "output"
        for i, name in enumerate(node.input):
            if name == head_source:
                node.input[i] = "output"

    # Keep only what the head needs.
    producers = {out: node for node in kept for out in node.output}
    needed, stack = set(), ["output"]
    while stack:
        node = producers.get(stack.pop())
        if node is None or id(node) in needed:
            continue
        needed.add(id(node))
        stack.extend(node.input)
    nodes = [node for node in kept if id(node) in needed]
    used = {name for node in nodes for name in node.input}
    initializers = [t for t in graph.initializer if t.name in used]

    image = helper.make_tensor_value_info("input", TensorProto.FLOAT, [1, 3, size, size])
    mask = helper.make_tensor_value_info("output", TensorProto.FLOAT, [1, 1, size, size])
    new_graph = helper.make_graph(nodes, graph.name, [image], [mask], initializers)
    new_model = helper.make_model(new_graph, opset_imports=model.opset_import)
    new_model.ir_version = model.ir_version
    onnx.checker.check_model(new_model)
    onnx.save(new_model, target)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]))
