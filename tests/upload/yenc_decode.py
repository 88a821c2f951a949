#!/usr/bin/python3
"""Decodes the yEnc articles in a file, one after the other, with
python3-sabyenc (an independent decoder) and writes the bytes at the
offsets their =ypart lines give.

    yenc_decode.py ENCODED OUTPUT
    prints one line per part: <name>|<1 when sabyenc found the CRC right>
    (the name as the bytes of the =ybegin line: sabyenc reads it as Latin-1)
"""
import re
import sys

import sabyenc3


def main():
    encoded = open(sys.argv[1], "rb").read()
    output = bytearray()
    for article in encoded.split(b"=ybegin ")[1:]:
        data, name, crc_ok = sabyenc3.decode_usenet_chunks([b"=ybegin " + article])
        begin = int(re.search(rb"=ypart begin=(\d+)", article).group(1)) - 1
        output[begin:begin + len(data)] = data
        sys.stdout.buffer.write(b"%s|%d\n" % (name.encode("latin-1"), 1 if crc_ok else 0))
    open(sys.argv[2], "wb").write(output)


if __name__ == "__main__":
    main()
