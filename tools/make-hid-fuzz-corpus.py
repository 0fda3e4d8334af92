#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz_hid_descriptor target from the report
descriptor fixtures: each seed is a 2-byte little-endian descriptor length,
the descriptor, then input reports (a length byte, then the bytes) that press
and release everything in every report the descriptor declares."""

import pathlib
import struct

ROOT = pathlib.Path(__file__).resolve().parent.parent
FIXTURES = ROOT / "tests" / "fixtures" / "hid"
CORPUS = ROOT / "fuzz" / "corpus" / "hid_descriptor"


def read_hex(path):
    tokens = []
    for line in path.read_text().splitlines():
        if not line.startswith("#"):
            tokens += line.split()
    return bytes(int(token, 16) for token in tokens)


def report_ids(descriptor):
    ids, position = set(), 0
    while position < len(descriptor):
        prefix = descriptor[position]
        if prefix == 0xFE:
            if position + 1 >= len(descriptor):
                break
            position += 3 + descriptor[position + 1]
            continue
        size = (0, 1, 2, 4)[prefix & 3]
        if prefix & 0xFC == 0x84 and size:
            ids.add(descriptor[position + 1])
        position += 1 + size
    return sorted(ids)


def seed(descriptor, reports):
    data = struct.pack("<H", len(descriptor)) + descriptor
    for report in reports:
        data += bytes([len(report)]) + report
    return data


def reports_for(descriptor):
    prefixes = [bytes([i]) for i in report_ids(descriptor)] or [b""]
    reports = []
    for prefix in prefixes:
        reports += [prefix + b"\xff" * 16, prefix + bytes(range(1, 17)), prefix + b"\x00" * 16]
    return reports


def main():
    CORPUS.mkdir(parents=True, exist_ok=True)
    everything = b""
    for fixture in sorted(FIXTURES.glob("*.hex")):
        descriptor = read_hex(fixture)
        everything += descriptor
        (CORPUS / fixture.stem).write_bytes(seed(descriptor, reports_for(descriptor)))
    # One long descriptor, so that the fuzzer also tries inputs of that length.
    (CORPUS / "all-fixtures").write_bytes(seed(everything, reports_for(everything)))


if __name__ == "__main__":
    main()
