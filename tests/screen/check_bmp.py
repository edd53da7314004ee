"""Opens a grabbed BMP with Pillow and checks it shows the simulated console's test pattern:
eight colour bars over the top three quarters, a grey ramp from dark to light at the bottom."""
import sys

from PIL import Image

BARS = [(255, 255, 255), (255, 255, 0), (0, 255, 255), (0, 255, 0),
        (255, 0, 255), (255, 0, 0), (0, 0, 255), (0, 0, 0)]

path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
image = Image.open(path).convert("RGB")
assert image.size == (width, height), image.size
for index, colour in enumerate(BARS):
    x = (2 * index + 1) * width // 16
    got = image.getpixel((x, height // 4))
    assert all(abs(a - b) <= 8 for a, b in zip(got, colour)), (index, got, colour)
ramp = [image.getpixel((x, height - 2)) for x in range(width)]
assert all(r == g == b for r, g, b in ramp), ramp[:8]
assert all(a[0] <= b[0] for a, b in zip(ramp, ramp[1:])), "ramp not rising"
assert ramp[0][0] <= 2 and ramp[-1][0] >= 250, (ramp[0], ramp[-1])
