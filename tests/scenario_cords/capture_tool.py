#!/usr/bin/env python3
"""Small judges for the cord scenario, with nothing beyond the standard library.

  capture_tool.py levels RAW START SECONDS   -> "left_max right_max left_rms right_rms left_hz"
      RAW is 11025 Hz interleaved stereo s16le; left_hz counts the left channel's sign changes.
  capture_tool.py band BEFORE.ppm AFTER.ppm AX AY BX BY
      -> "pixels xor_matches": the pixels of the line AX,AY .. BX,BY (last one left out) in AFTER that
         are those of BEFORE exclusive-or'ed with green.
  capture_tool.py pixel IMAGE.ppm X Y  -> "R G B"
  capture_tool.py match RAW WAV  -> "start matched underrun_runs problem"
      RAW is interleaved stereo s16le at any rate, WAV an 8-bit stereo file; finds the WAV's first frames
      in RAW and walks both in order: runs of zero frames in RAW are the server's underruns; anything else
      that differs is the problem ("none" when every frame up to the end of either matched).
"""
import array
import math
import sys

RATE = 11025


def levels(path, start, seconds):
    data = array.array("h")
    with open(path, "rb") as f:
        data.frombytes(f.read())
    if sys.byteorder != "little":
        data.byteswap()
    first = int(start * RATE) * 2
    last = min(len(data), first + int(seconds * RATE) * 2)
    left = data[first:last:2]
    right = data[first + 1:last:2]
    if len(left) == 0:
        print("0 0 0 0 0 empty")
        return
    lmax = max(abs(v) for v in left)
    rmax = max(abs(v) for v in right)
    lrms = math.sqrt(sum(v * v for v in left) / len(left)) / 32768
    rrms = math.sqrt(sum(v * v for v in right) / len(right)) / 32768
    changes, sign = 0, 0
    for v in left:
        s = (v > 0) - (v < 0)
        if s and sign and s != sign:
            changes += 1
        if s:
            sign = s
    hz = changes / 2 / (len(left) / RATE)
    print(f"{lmax} {rmax} {lrms:.4f} {rrms:.4f} {hz:.1f}")


def read_ppm(path):
    with open(path, "rb") as f:
        raw = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while raw[pos:pos + 1].isspace():
            pos += 1
        if raw[pos:pos + 1] == b"#":
            pos = raw.index(b"\n", pos)
            continue
        end = pos
        while not raw[end:end + 1].isspace():
            end += 1
        fields.append(raw[pos:end])
        pos = end
    assert fields[0] == b"P6" and fields[3] == b"255", "expected an 8-bit P6 image"
    width, height = int(fields[1]), int(fields[2])
    return width, height, raw[pos + 1:]


def pixel(img, x, y):
    width, _, data = img
    i = (y * width + x) * 3
    return data[i], data[i + 1], data[i + 2]


def line(ax, ay, bx, by):
    dx, dy = abs(bx - ax), abs(by - ay)
    sx, sy = (1 if ax < bx else -1), (1 if ay < by else -1)
    err, x, y = dx - dy, ax, ay
    while (x, y) != (bx, by):
        yield x, y
        e2 = 2 * err
        if e2 > -dy:
            err -= dy
            x += sx
        if e2 < dx:
            err += dx
            y += sy


def band(before_path, after_path, ax, ay, bx, by):
    before, after = read_ppm(before_path), read_ppm(after_path)
    total = matches = 0
    for x, y in line(ax, ay, bx, by):
        r, g, b = pixel(before, x, y)
        total += 1
        matches += pixel(after, x, y) == (r, g ^ 255, b)
    print(f"{total} {matches}")


def match(raw_path, wav_path):
    cap = array.array("h")
    with open(raw_path, "rb") as f:
        cap.frombytes(f.read())
    if sys.byteorder != "little":
        cap.byteswap()
    with open(wav_path, "rb") as f:
        wav = f.read()
    at = wav.find(b"data")
    size = int.from_bytes(wav[at + 4:at + 8], "little")
    ren = array.array("h", [(b - 128) * 256 for b in wav[at + 8:at + 8 + size]])
    if sys.byteorder != "little":
        ren.byteswap()
    key, whole = ren[0:4000].tobytes(), cap.tobytes()
    pos = whole.find(key)
    while pos >= 0 and pos % 4:
        pos = whole.find(key, pos + 1)
    if pos < 0:
        print("0 0 0 start-not-found")
        return
    if sys.byteorder != "little":
        ren.byteswap()
    c, k, runs, problem = pos // 4, 0, 0, "none"
    nc, nr = len(cap) // 2, len(ren) // 2
    while c < nc and k < nr:
        if cap[2 * c] == ren[2 * k] and cap[2 * c + 1] == ren[2 * k + 1]:
            c, k = c + 1, k + 1
        elif cap[2 * c] == 0 and cap[2 * c + 1] == 0:
            runs += 1
            while c < nc and cap[2 * c] == 0 and cap[2 * c + 1] == 0:
                c += 1
        else:
            problem = "frame-%d" % k
            break
    print(pos // 4, k, runs, problem)


def main():
    cmd = sys.argv[1]
    if cmd == "levels":
        levels(sys.argv[2], float(sys.argv[3]), float(sys.argv[4]))
    elif cmd == "band":
        band(sys.argv[2], sys.argv[3], *map(int, sys.argv[4:8]))
    elif cmd == "match":
        match(sys.argv[2], sys.argv[3])
    elif cmd == "pixel":
        print(*pixel(read_ppm(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])))
    else:
        sys.exit("unknown command " + cmd)


if __name__ == "__main__":
    main()
