#!/usr/bin/env python3
# An image of JPEGs written in two pieces, for bench/jpeg_compare_fragments.sh: sixteen pictures
# (PICDIR/p1.jpg .. p16.jpg) on 4 KiB clusters, every fourth in one piece, the others split at a
# random cluster with 1 to 40 clusters of random data or of another picture's middle between the
# pieces, random data around them. Writes IMAGE and IMAGE.manifest (name, layout, sha256).
# Usage: bench/jpeg_make_fragment_image.py PICDIR IMAGE
import hashlib
import os
import random
import sys

random.seed(11)
C = 4096
pics = [open(os.path.join(sys.argv[1], f'p{i}.jpg'), 'rb').read() for i in range(1, 17)]
out = bytearray(os.urandom(64 * C))
manifest = []
def pad(b):
    return b + os.urandom((-len(b)) % C)
for i, p in enumerate(pics):
    whole = (i % 4 == 3)  # every fourth picture is written in one piece
    start = len(out)
    if whole:
        out += pad(p)
        manifest.append((f'p{i+1}', 'whole', hashlib.sha256(p).hexdigest()))
    else:
        nclusters = (len(p) + C - 1) // C
        k = random.randint(1, max(1, nclusters - 1))
        first = k * C
        gap_clusters = random.choice([1, 2, 5, 16, 40])
        if i % 2 == 0:
            gap = os.urandom(gap_clusters * C)          # random (compressed-looking) data
        else:
            other = pics[(i + 5) % len(pics)]            # the middle of another picture
            mid = len(other) // 3
            gap = (other[mid:] + os.urandom(gap_clusters * C))[:gap_clusters * C]
        out += p[:first] + gap + pad(p[first:])
        manifest.append((f'p{i+1}', f'two pieces, first {first}, gap {len(gap)}', hashlib.sha256(p).hexdigest()))
    out += os.urandom(random.randint(1, 8) * C)
out += os.urandom(64 * C)
open(sys.argv[2], 'wb').write(out)
with open(sys.argv[2] + '.manifest', 'w') as f:
    for m in manifest: f.write('\t'.join(m) + '\n')

