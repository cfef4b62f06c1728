"""Checks that a take's frames are what the sink played, in order: the frames of TAKE.WAV (8-bit stereo at
11025 Hz) are found in CAPTURE.raw (the sink's monitor as 16-bit stereo at 11025 Hz) from SWITCHED_ON
seconds on; the device may have played silence between renders (a run of zero frames), never other frames.

    python3 take_in_capture.py CAPTURE.raw TAKE.WAV SWITCHED_ON [--at-least SECONDS] [--ends-within SECONDS]

--at-least: the take's matched frames last more than SECONDS. --ends-within: the take reaches to less than
SECONDS before the last frame of sound the sink played (a take cut short by a kill).
"""
import argparse
import array
import struct

RATE = 11025
parser = argparse.ArgumentParser()
parser.add_argument("capture")
parser.add_argument("take")
parser.add_argument("switched_on", type=float)
parser.add_argument("--at-least", type=float)
parser.add_argument("--ends-within", type=float)
args = parser.parse_args()
cap = array.array("h")
with open(args.capture, "rb") as f:
    cap.frombytes(f.read())
with open(args.take, "rb") as f:
    wav = f.read()
switched_on = int(args.switched_on * RATE)
assert wav[:4] == b"RIFF" and wav[8:12] == b"WAVE", "not a WAV file"
length = struct.unpack_from("<I", wav, 40)[0]
data = wav[44:44 + length]
assert len(data) == length and length % 2 == 0, "the data chunk does not hold whole frames"
frames = length // 2
n = len(cap) // 2


def same(c, r):
    return cap[2 * c] == (data[2 * r] - 128) * 256 and cap[2 * c + 1] == (data[2 * r + 1] - 128) * 256


def zero(c):
    return cap[2 * c] == 0 and cap[2 * c + 1] == 0


# Anchor on the first sounding stretch of the take: the silence before it matches anywhere.
first = next((r for r in range(frames) if data[2 * r] != 128 or data[2 * r + 1] != 128), None)
assert first is not None, "the take is silent"
anchor = min(2000, frames - first)
start = next((c for c in range(switched_on, n - anchor)
              if all(same(c + k, first + k) for k in range(anchor))), None)
assert start is not None, "the take's frames were not found in the capture"
r, c, gaps = first, start, 0
while r < frames and c < n:
    if same(c, r):
        r += 1
        c += 1
    elif zero(c):
        z = c
        while z < n and zero(z):
            z += 1
        if z == n:
            break
        gaps += 1
        c = z
    else:
        raise SystemExit(f"frame {r} of the take differs from the capture at {c / RATE:.3f} s")
print(f"take {frames} frames ({frames / RATE:.2f} s), matched {r - first} from {start / RATE:.3f} s, {gaps} gaps, "
      f"{frames - r} frames rendered but not played")
# Every frame was played, except what was rendered ahead of the device when the sound stopped.
assert frames - r < RATE // 2, "the take holds frames the sink never played"
if args.at_least is not None:
    assert r - first > args.at_least * RATE, "the take is too short"
if args.ends_within is not None:
    last_sound = max(i for i in range(n) if not zero(i))
    print(f"the take ends {(last_sound - c) / RATE:.3f} s before the last frame of sound played")
    assert (last_sound - c) / RATE < args.ends_within, "the take ends too long before the sound did"
