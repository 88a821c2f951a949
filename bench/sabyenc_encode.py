#!/usr/bin/python3
"""Encodes a file as yEnc parts with python3-sabyenc, the way a poster
built on it would: the file read part by part, each part encoded and
written with its header and trailer lines, for bench/encode.

    sabyenc_encode.py SOURCE OUTPUT [PART]
    prints: seconds=<s> cpu=<user + system seconds>
"""
import os
import sys
import time

import sabyenc3


POLYNOMIAL = 0xEDB88320


def multiply_modulo(a, b):
    """Product of two bit-reflected polynomials modulo the CRC-32 one."""
    product = 0
    m = 1 << 31
    while m:
        if a & m:
            product ^= b
        b = (b >> 1) ^ POLYNOMIAL if b & 1 else b >> 1
        m >>= 1
    return product


def shift_power(length):
    """x^(8 * length) modulo the polynomial: moves a CRC past `length` bytes."""
    power, square = 1 << 31, 1 << 23
    while length:
        if length & 1:
            power = multiply_modulo(power, square)
        square = multiply_modulo(square, square)
        length >>= 1
    return power


def main():
    source, output = sys.argv[1], sys.argv[2]
    part_bytes = int(sys.argv[3]) if len(sys.argv) > 3 else 716800
    size = os.path.getsize(source)
    total = max(1, (size + part_bytes - 1) // part_bytes)
    start = time.perf_counter()
    cpu_start = time.process_time()
    # The file's CRC from the part CRCs sabyenc returns, as the program
    # does, so sabyenc is not charged a second pass over the data.
    crc = 0
    full_shift = shift_power(part_bytes)
    with open(source, "rb") as src, open(output, "wb") as out:
        for part in range(1, total + 1):
            data = src.read(part_bytes)
            encoded, part_crc = sabyenc3.encode(data)
            shift = full_shift if len(data) == part_bytes else shift_power(len(data))
            crc = multiply_modulo(shift, crc) ^ part_crc
            begin = (part - 1) * part_bytes
            out.write(b"=ybegin part=%d total=%d line=128 size=%d name=source.bin\r\n"
                      b"=ypart begin=%d end=%d\r\n" % (part, total, size, begin + 1, begin + len(data)))
            out.write(encoded)
            trailer = b"\r\n=yend size=%d part=%d pcrc32=%08x" % (len(data), part, part_crc)
            if part == total:
                trailer += b" crc32=%08x" % crc
            out.write(trailer + b"\r\n")
    print("seconds=%.6f cpu=%.6f" % (time.perf_counter() - start, time.process_time() - cpu_start))


if __name__ == "__main__":
    main()
