#!/usr/bin/env python3
"""Text files of one size in three shapes, for the event loop's gaps while a
dropped file's text is shown (scripts/bench.sh):

  one-line.txt  one line of hexadecimal digits (a key, a ciphertext kept in a
                file): nowhere to break it
  lines.txt     lines of words, about 70 characters each
  minified.json one line of JSON without blanks

usage: make_texts.py FOLDER KIB
"""
import json
import random
import sys

WORDS = ("the of and to in is that for it as with was on be by this are or from at "
         "file text line window folder encrypt decrypt key value drop size time").split()


def one_line(rng, size):
    digits = "0123456789abcdef"
    return "".join(rng.choice(digits) for _ in range(size - 1)) + "x"


def lines(rng, size):
    out, length = [], 0
    while length < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(10, 16)))
        out.append(line)
        length += len(line) + 1
    return "\n".join(out)[: size - 1] + "x"


def minified(rng, size):
    records, length = [], 2
    while True:
        record = {"id": len(records), "name": " ".join(rng.choice(WORDS) for _ in range(3)),
                  "tags": [rng.choice(WORDS) for _ in range(4)], "score": round(rng.random() * 100, 2),
                  "active": rng.random() < 0.5}
        length += len(json.dumps(record, separators=(",", ":"))) + 1
        if length > size:
            return json.dumps(records, separators=(",", ":"))
        records.append(record)


def main():
    folder, size = sys.argv[1], int(sys.argv[2]) * 1024
    rng = random.Random(4711)
    for name, make in (("one-line.txt", one_line), ("lines.txt", lines), ("minified.json", minified)):
        with open(f"{folder}/{name}", "w", encoding="ascii") as out:
            out.write(make(rng, size))


if __name__ == "__main__":
    main()
