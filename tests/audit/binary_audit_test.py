#!/usr/bin/python3
"""What ships against Windows' binary rules (tools/binary_audit.py): every
image in the archives, and the audit itself against copies of tamsel.dll that
each have one rule broken, where it must find exactly the rules each change
breaks.

  binary_audit_test.py REPORT DIST     DIST: what tools/dist.sh wrote

Writes a JUnit testcase per image and rule that must hold (pass or FAIL; the
rules a toolchain or a prebuilt DLL cannot meet are no test) and per broken
copy to REPORT; exits 1 on any failure.
"""
import os
import struct
import sys

import pefile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tools"))
sys.path.insert(0, os.path.join(here, "..", "support"))
import binary_audit as audit  # noqa: E402
from junit_report import junit_report  # noqa: E402


def set_flag(header, name, bit, on):
    def mutate(pe, data):
        value = getattr(getattr(pe, header), name)
        setattr(getattr(pe, header), name, value | bit if on else value & ~bit)
        return bytearray(pe.write())
    return mutate


def section_flag(section, bit):
    def mutate(pe, data):
        for s in pe.sections:
            if s.Name.rstrip(b"\0") == section:
                s.Characteristics |= bit
        return bytearray(pe.write())
    return mutate


def record_field(offset, value):
    """Sets a 32-bit field of the load configuration; value may be a function of the old one."""
    def mutate(pe, data):
        rva = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]].VirtualAddress
        at = pe.get_offset_from_rva(rva + offset)
        old = struct.unpack_from("<I", data, at)[0]
        struct.pack_into("<I", data, at, value(old) if callable(value) else value)
        return data
    return mutate


def cookie_value(value):
    def mutate(pe, data):
        record = audit.load_config(pe)
        at = pe.get_offset_from_rva(audit.field(record, 0x3C) - pe.OPTIONAL_HEADER.ImageBase)
        struct.pack_into("<I", data, at, value)
        return data
    return mutate


def no_cet_marker(pe, data):
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DEBUG"]])
    for entry in pe.DIRECTORY_ENTRY_DEBUG:
        if entry.struct.Type == audit.DEBUG_TYPE_EX_DLLCHARACTERISTICS:
            struct.pack_into("<I", data, entry.struct.PointerToRawData, 0)
    return data


def seh_chain_write_at_entry(pe, data):
    # mov fs:[0], eax: puts a handler on the SEH chain.
    at = pe.get_offset_from_rva(pe.OPTIONAL_HEADER.AddressOfEntryPoint)
    data[at:at + 6] = b"\x64\xa3\x00\x00\x00\x00"
    return data


def unchanged(pe, data):
    return data


# name, image (archive kind and file), change, the rules that must then fail.
CASES = [
    ("msvc image as shipped", "msvc", unchanged, set()),
    ("gnu image as shipped", "gnu", unchanged, set()),
    ("DYNAMIC_BASE cleared", "msvc", set_flag("OPTIONAL_HEADER", "DllCharacteristics", audit.DYNAMIC_BASE, False), {"BA2009"}),
    ("relocations stripped", "gnu", set_flag("FILE_HEADER", "Characteristics", audit.RELOCS_STRIPPED, True), {"BA2009"}),
    ("NX_COMPAT cleared", "msvc", set_flag("OPTIONAL_HEADER", "DllCharacteristics", audit.NX_COMPAT, False), {"BA2016"}),
    ("NO_SEH cleared", "gnu", set_flag("OPTIONAL_HEADER", "DllCharacteristics", audit.NO_SEH, False), {"BA2018"}),
    ("NO_SEH with a write to fs:[0]", "gnu", seh_chain_write_at_entry, {"BA2018"}),
    ("SafeSEH table emptied", "msvc", record_field(0x44, 0), {"BA2018", "handlers"}),
    ("a handler left out of the table", "msvc", record_field(0x44, lambda n: n - 1), {"handlers"}),
    ("record of 0x48 bytes", "msvc", record_field(0x00, 0x48), {"BA2008"}),
    ("record of 0x40 bytes", "msvc", record_field(0x00, 0x40), {"BA2008", "BA2018", "handlers"}),
    ("no SecurityCookie", "msvc", record_field(0x3C, 0), {"BA2012"}),
    ("cookie not the default", "msvc", cookie_value(0x12345678), {"BA2012"}),
    ("GUARD_CF cleared", "msvc", set_flag("OPTIONAL_HEADER", "DllCharacteristics", audit.GUARD_CF, False), {"BA2008"}),
    ("no check-function pointer", "msvc", record_field(0x48, 0), {"BA2008"}),
    ("no function table", "msvc", record_field(0x50, 0), {"BA2008"}),
    ("GuardFlags without 0x400", "msvc", record_field(0x58, lambda f: f & ~audit.CF_FUNCTION_TABLE_PRESENT), {"BA2008"}),
    ("GuardFlags without 0x100", "msvc", record_field(0x58, lambda f: f & ~audit.CF_INSTRUMENTED), {"BA2008"}),
    (".data shared", "msvc", section_flag(b".data", audit.SCN_MEM_SHARED), {"BA2019"}),
    (".data executable", "gnu", section_flag(b".data", audit.SCN_MEM_EXECUTE), {"BA2021"}),
    ("CET marker cleared", "msvc", no_cet_marker, {"BA2025"}),
]


def audit_as_shipped(dist, report):
    for image, _, rule, verdict, detail in audit.audit(dist):
        if verdict == "pass":
            report.passed("%s %s" % (image, rule))
        elif verdict == "FAIL":
            report.failed("%s %s" % (image, rule), detail)


def audit_broken_copies(dist, report):
    originals = {}
    for archive, path, data in audit.images(dist):
        if path.endswith("/tamsel.dll"):
            originals[audit.kind_of(archive, path)] = data
    with open(os.path.join(dist, "debug", "msvc", "tamsel.map"), encoding="utf-8") as f:
        map_text = f.read()
    if set(originals) != {"msvc", "gnu"}:
        report.failed("broken copies", "both builds of tamsel.dll must be in %s" % dist)
        return
    base = {kind: audit.check_image(data, kind, map_text) for kind, data in originals.items()}
    for name, kind, mutate, expected in CASES:
        data = mutate(pefile.PE(data=originals[kind]), bytearray(originals[kind]))
        results = audit.check_image(bytes(data), kind, map_text)
        if mutate is unchanged:
            broken = {rule for rule, (holds, _) in results.items() if audit.verdict(kind, rule, holds) == "FAIL"}
        else:
            # What the change broke: the GNU image misses the rules its toolchain cannot meet anyway.
            broken = {rule for rule, (holds, _) in results.items() if not holds and base[kind][rule][0]}
        if broken == expected:
            report.passed(name)
        else:
            report.failed(name, "broken %s, expected %s" % (sorted(broken), sorted(expected)))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    report = junit_report("binary_audit")
    audit_as_shipped(sys.argv[2], report)
    audit_broken_copies(sys.argv[2], report)
    report.write(sys.argv[1])
    for name, outcome, message in report.cases:
        if outcome != "passed":
            print("%s: %s: %s" % (outcome, name, message))
    print("binary_audit: %d cases, %d failed" % (len(report.cases), report.failures()))
    return 1 if report.failures() else 0


if __name__ == "__main__":
    sys.exit(main())
