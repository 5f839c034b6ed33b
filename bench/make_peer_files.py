#!/usr/bin/env python3
# make_peer_files.py: writes the PNG files and the folder the peer benchmark reads (deterministic; skips
# what is already made).
# Usage: make_peer_files.py FOLDER [NAME...]   (NAME: only these of the files and folders below)
import os
import random
import shutil
import struct
import sys
import zlib

# Bump when the content changes, so that old files are made again.
VERSION = "1"


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def ihdr(width, height, colour_type=2):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))


def text(keyword, value):
    return chunk(b"tEXt", keyword.encode("latin-1") + b"\0" + value.encode("latin-1"))


def ztxt(keyword, value, level=9):
    return chunk(b"zTXt", keyword.encode("latin-1") + b"\0\0" + zlib.compress(value.encode("latin-1"), level))


def itxt(keyword, language, translated, value, compressed=False):
    data = value.encode("utf-8")
    if compressed:
        data = zlib.compress(data, 9)
    return chunk(b"iTXt", keyword.encode("latin-1") + b"\0" + bytes([1 if compressed else 0, 0]) +
                 language.encode("ascii") + b"\0" + translated.encode("utf-8") + b"\0" + data)


SIGNATURE = b"\x89PNG\r\n\x1a\n"


def small_image(width=16, height=16):
    rows = b"".join(b"\0" + bytes((x * 16 + y) & 0xFF for x in range(width)) for y in range(height))
    return chunk(b"IDAT", zlib.compress(rows, 9))


def noise_png(path, width=8000, height=8333):
    """About 200 MB: RGB noise stored without compression gain, text chunks before and after IDAT."""
    generator = random.Random(20261208)
    stride = width * 3 + 1
    raw = bytearray(generator.randbytes(stride * height))
    raw[0::stride] = bytes(height)  # filter type None on every row
    compressed = zlib.compress(bytes(raw), 1)
    del raw
    with open(path, "wb") as out:
        out.write(SIGNATURE + ihdr(width, height))
        out.write(text("Title", "Noise of 200 MB"))
        out.write(ztxt("Comment", "Text chunks before the image data,\nand after it."))
        out.write(itxt("Description", "en", "Beschreibung", "Rauschen, noise, \u0448\u0443\u043c"))
        for at in range(0, len(compressed), 1 << 20):
            out.write(chunk(b"IDAT", compressed[at:at + (1 << 20)]))
        out.write(text("Software", "make_peer_files.py"))
        out.write(ztxt("parameters", "steps: 30, sampler: Euler a, seed: 1234"))
        out.write(itxt("Author", "", "", "Bench"))
        out.write(chunk(b"IEND", b""))


def huge_png(path, size=3_000_000_000):
    """About 3 GB, far more than a 32-bit process can map at once: IDAT chunks of 1 MB of noise (bytes to
    search, not an image stream), text chunks at the start, in the middle and at the end. The noise holds
    no 'X', so no type code hides in it: the text chunks found are the three written."""
    generator = random.Random(20261210)
    block = generator.randbytes(1 << 20).replace(b"X", b"Y")
    with open(path, "wb") as out:
        out.write(SIGNATURE + ihdr(30000, 25000))
        out.write(text("Title", "Noise of 3 GB"))
        middle = size // 2
        written = out.tell()
        while written < size - (1 << 21):
            # A chunk of its own per megabyte, each different: the first bytes count the chunks.
            data = written.to_bytes(8, "big") + block[8:]
            out.write(chunk(b"IDAT", data))
            written += len(data) + 12
            if middle and written >= middle:
                out.write(ztxt("Comment", "Half way through 3 GB"))
                middle = 0
        out.write(itxt("Author", "", "", "Bench"))
        out.write(chunk(b"IEND", b""))


def many_chunks_png(path, count=5000):
    """count text chunks of the three kinds with unique keywords, before a small image."""
    generator = random.Random(5000)
    words = ["alpha", "beta", "gamma", "delta", "prompt", "seed", "steps", "model", "width", "height"]
    parts = [SIGNATURE, ihdr(16, 16, 0)]
    for i in range(count):
        value = " ".join(generator.choice(words) for _ in range(generator.randint(3, 30)))
        keyword = "Key%05d" % i
        if i % 3 == 0:
            parts.append(text(keyword, value))
        elif i % 3 == 1:
            parts.append(ztxt(keyword, value))
        else:
            parts.append(itxt(keyword, "en", "Schluessel%d" % i, value))
    parts += [small_image(), chunk(b"IEND", b"")]
    with open(path, "wb") as out:
        out.write(b"".join(parts))


def big_ztxt_png(path, size=1 << 20):
    """One zTXt whose text inflates to about 1 MB: a pretty-printed node workflow, lines and all."""
    generator = random.Random(1 << 20)
    lines = ["{", '  "nodes": [']
    node = 0
    while sum(len(line) + 1 for line in lines) < size - 200:
        lines.append('    {"id": %d, "type": "Node%d", "inputs": {"seed": %d, "cfg": %.1f, "text": "%s"}},' % (
            node, generator.randint(1, 40), generator.randint(0, 1 << 31), generator.uniform(1, 12),
            " ".join(generator.choice(["red", "blue", "cat", "hat", "lake", "sky"]) for _ in range(8))))
        node += 1
    lines += ['    {"id": %d}' % node, "  ]", "}"]
    workflow = "\n".join(lines)
    parts = [SIGNATURE, ihdr(16, 16, 0), text("Title", "Workflow"), ztxt("workflow", workflow),
             small_image(), chunk(b"IEND", b"")]
    with open(path, "wb") as out:
        out.write(b"".join(parts))


def image_data_variant(seed, width=1024, height=896):
    """About 2 MB of real compressed image data: RGB rows of 6-bit noise under the Sub filter, deflated."""
    generator = random.Random(seed)
    rows = bytearray()
    for _ in range(height):
        rows.append(1)
        rows += generator.randbytes(width * 3).translate(SIX_BITS)
    return width, height, zlib.compress(bytes(rows), 6)


SIX_BITS = bytes(b & 0x3F for b in range(256))
WORDS = ["masterpiece", "best quality", "portrait", "lake", "mountains", "sunset", "cinematic lighting", "cat",
         "hat", "detailed", "8k", "watercolor", "forest", "city", "night", "neon", "bokeh", "soft focus"]


def parameters_text(generator, seed):
    prompt = ", ".join(generator.choice(WORDS) for _ in range(generator.randint(12, 30)))
    negative = ", ".join(generator.choice(["blurry", "lowres", "bad hands", "watermark", "text"]) for _ in range(6))
    return ("%s\nNegative prompt: %s\nSteps: %d, Sampler: DPM++ 2M Karras, CFG scale: %.1f, Seed: %d, "
            "Size: 1024x896, Model hash: %08x, Model: bench_model_v%d" % (
                prompt, negative, generator.randint(20, 50), generator.uniform(4, 12), seed,
                generator.getrandbits(32), generator.randint(1, 9)))


def workflow_json(generator, size=20000):
    """A node graph's JSON of about size bytes, as image generators store it."""
    nodes = []
    while sum(len(node) for node in nodes) < size:
        nodes.append('{"id":%d,"type":"Node%d","pos":[%d,%d],"size":[315,%d],"flags":{},"order":%d,'
                     '"mode":0,"inputs":[{"name":"model","type":"MODEL","link":%d}],"outputs":[{"name":"LATENT",'
                     '"type":"LATENT","links":[%d]}],"widgets_values":[%d,"randomize",%d,%.1f,"euler","normal",1]}' % (
                         len(nodes), generator.randint(1, 60), generator.randint(0, 2000), generator.randint(0, 2000),
                         generator.randint(50, 400), len(nodes), generator.randint(1, 99), generator.randint(1, 99),
                         generator.getrandbits(48), generator.randint(10, 60), generator.uniform(1, 12)))
    return '{"last_node_id":%d,"nodes":[%s],"links":[],"version":0.4}' % (len(nodes), ",".join(nodes))


def prompt_json(generator):
    inputs = ",".join('"%d":{"inputs":{"seed":%d,"steps":%d,"text":"%s"},"class_type":"Node%d"}' % (
        i, generator.getrandbits(48), generator.randint(10, 60), ", ".join(generator.choice(WORDS) for _ in range(10)),
        generator.randint(1, 60)) for i in range(12))
    return "{" + inputs + "}"


def ai_image_folder(folder, count=1000, variants=8):
    """count PNGs shaped like generated images: about 2 MB of compressed image data each (one of a few
    variants, so that making them stays fast), a parameters tEXt; every third also a ~20 KB workflow
    JSON tEXt and a compressed iTXt prompt. Text chunks come before the image data, as such tools write."""
    os.makedirs(folder, exist_ok=True)
    images = [image_data_variant(1000 + v) for v in range(variants)]
    for i in range(count):
        generator = random.Random(i)
        width, height, data = images[i % variants]
        parts = [SIGNATURE, ihdr(width, height), text("parameters", parameters_text(generator, i))]
        if i % 3 == 0:
            parts.append(text("workflow", workflow_json(generator)))
            parts.append(itxt("prompt", "", "", prompt_json(generator), compressed=True))
        parts += [chunk(b"IDAT", data[at:at + 65536]) for at in range(0, len(data), 65536)]
        parts.append(chunk(b"IEND", b""))
        with open(os.path.join(folder, "image-%04d.png" % i), "wb") as out:
            out.write(b"".join(parts))


def workflow_folder(folder, count=1000, variants=8, size=500_000, compressed_copies=True):
    """count PNGs shaped like node-graph images: a parameters tEXt, a ~500 KB workflow JSON tEXt, the same
    text as a zTXt and as a compressed iTXt (without compressed_copies: the tEXt chunks alone, as node-graph
    tools write them), and about 0.5 MB of compressed image data. The JSON is one of a few variants with
    the file's own seed in front, so that making them stays fast."""
    os.makedirs(folder, exist_ok=True)
    image = image_data_variant(2000, 512, 448)
    workflows = [workflow_json(random.Random(3000 + v), size) for v in range(variants)]
    packed = [(ztxt("workflow", w, 6), itxt("workflow", "", "", w, compressed=True)) for w in workflows]
    for i in range(count):
        generator = random.Random(i)
        width, height, data = image
        v = i % variants
        seed = '{"seed":%d,' % i
        parts = [SIGNATURE, ihdr(width, height), text("parameters", parameters_text(generator, i)),
                 text("workflow", seed + workflows[v][1:])]
        if compressed_copies:
            parts += [packed[v][0], packed[v][1]]
        parts += [chunk(b"IDAT", data[at:at + 65536]) for at in range(0, len(data), 65536)]
        parts.append(chunk(b"IEND", b""))
        with open(os.path.join(folder, "workflow-%04d.png" % i), "wb") as out:
            out.write(b"".join(parts))


def workflow_links(folder, copies=10):
    """Ten names for each file of the workflow folder (hard links: no more disk), for the memory check."""
    source = os.path.join(os.path.dirname(folder), "workflow-images")
    os.makedirs(folder, exist_ok=True)
    for name in sorted(os.listdir(source)):
        for copy in range(copies):
            os.link(os.path.join(source, name), os.path.join(folder, "%s-%d.png" % (name[:-4], copy)))


FILES = {
    "noise-200mb.png": noise_png,
    "noise-3gb.png": huge_png,
    "chunks-5000.png": many_chunks_png,
    "ztxt-1mb.png": big_ztxt_png,
    "ai-images": ai_image_folder,
    "workflow-images": workflow_folder,
    "workflow-text": lambda folder: workflow_folder(folder, compressed_copies=False),
    "workflow-10000": workflow_links,
}


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    only = sys.argv[2:]
    for name, make in FILES.items():
        if only and name not in only:
            continue
        path = os.path.join(folder, name)
        marker = path + ".v" + VERSION
        if os.path.exists(path) and os.path.exists(marker):
            continue
        print("making", path, flush=True)
        if os.path.isdir(path + ".part"):
            shutil.rmtree(path + ".part")
        if os.path.isdir(path):
            shutil.rmtree(path)
        make(path + ".part")
        os.replace(path + ".part", path)
        open(marker, "w").close()


if __name__ == "__main__":
    main()
