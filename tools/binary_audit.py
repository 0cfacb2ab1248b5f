#!/usr/bin/python3
"""Audits every PE image inside the release archives against the rules that
Windows' loader and a security review read from the file alone, and prints one
row per image and rule.

  tools/binary_audit.py [DIST]     (DIST defaults to dist/)

Microsoft-ABI images must pass every rule. GNU-ABI images must pass the rules
their toolchain can meet; the others are reported as "toolchain". The runtime
DLLs that come prebuilt with the toolchain are reported as they are ("prebuilt"):
a rule nobody could ask their builder to meet is not ours to fail. The handlers
a Microsoft-ABI image registers are read from its link map in DIST/debug/msvc/.
Exits 1 when a rule that must hold does not, 2 when there is nothing to audit.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile

import pefile

DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
NO_SEH = 0x0400
GUARD_CF = 0x4000
RELOCS_STRIPPED = 0x0001
CF_INSTRUMENTED = 0x100
CF_FUNCTION_TABLE_PRESENT = 0x400
CET_COMPAT = 0x1
DEBUG_TYPE_EX_DLLCHARACTERISTICS = 20
SCN_MEM_SHARED = 0x10000000
SCN_MEM_EXECUTE = 0x20000000
SCN_MEM_WRITE = 0x80000000
DEFAULT_SECURITY_COOKIE = 0xBB40E64E
# The smallest load configurations that hold the SafeSEH fields and the guard fields.
SAFESEH_RECORD_SIZE = 0x48
GUARD_RECORD_SIZE = 0x5C

RUNTIME_DLLS = {"libgcc_s_dw2-1.dll", "libstdc++-6.dll", "libwinpthread-1.dll"}
# Functions that an image registering SEH frames imports or links.
SEH_HANDLER_IMPORTS = {
    b"_except_handler2", b"_except_handler3", b"_except_handler4_common", b"__C_specific_handler"
}
# What registers a handler in Microsoft-ABI code, as the link map names it:
# the compiler's C++ handler thunks and the SEH handlers' import thunks.
MAP_HANDLER = re.compile(r"^(___ehhandler\$\S+|__except_handler[234])$")
# A write to fs:[0], the head of the thread's SEH chain, in objdump's syntax.
SEH_CHAIN_WRITE = re.compile(r"(,%fs:0x0\s*$)|(\bpop[lw]?\s+%fs:0x0\s*$)")

# Rules, in the order of the table. The GNU toolchain (GNU ld) writes no load
# configuration, no guard tables and no CET marker.
RULES = [
    ("BA2009", "ASLR: DYNAMIC_BASE, relocations kept", True),
    ("BA2016", "DEP: NX_COMPAT", True),
    ("BA2018", "SafeSEH: handler table in the load configuration, or NO_SEH", True),
    ("BA2012", "stack cookie: SecurityCookie holds 0xBB40E64E", False),
    ("BA2008", "Control Flow Guard", False),
    ("BA2019", "no shared writable section", True),
    ("BA2021", "no writable and executable section", True),
    ("BA2025", "CET shadow stack compatible", False),
    ("handlers", "every registered handler in the SafeSEH table", False),
]
RULE_IDS = [r[0] for r in RULES]


def kind_of(archive, path):
    """msvc, gnu or runtime, from where the image sits in the archives."""
    name = os.path.basename(path)
    if name in RUNTIME_DLLS:
        return "runtime"
    if archive.endswith("-win32-msvc.zip") or "/msvc/" in path:
        return "msvc"
    return "gnu"


def load_config(pe):
    """The load configuration's raw bytes (as long as it says it is), or None."""
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]]
    if entry.VirtualAddress == 0 or entry.Size < 4:
        return None
    head = pe.get_data(entry.VirtualAddress, 4)
    size = struct.unpack("<I", head)[0]
    return pe.get_data(entry.VirtualAddress, size)


def field(record, offset):
    """A 32-bit field of the record, or None when the record ends before it."""
    if record is None or len(record) < offset + 4:
        return None
    return struct.unpack_from("<I", record, offset)[0]


def read_u32_at_va(pe, va):
    rva = va - pe.OPTIONAL_HEADER.ImageBase
    try:
        return struct.unpack("<I", pe.get_data(rva, 4))[0]
    except (pefile.PEFormatError, struct.error):
        return None


def safeseh_table(pe, record):
    """The handlers' RVAs in the SafeSEH table, or None without a table."""
    table, count = field(record, 0x40), field(record, 0x44)
    if not table or count is None or len(record) < SAFESEH_RECORD_SIZE:
        return None
    data = pe.get_data(table - pe.OPTIONAL_HEADER.ImageBase, 4 * count)
    return set(struct.unpack("<%dI" % count, data))


def imported_names(pe):
    names = set()
    for dll in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        names.update(i.name for i in dll.imports if i.name)
    return names


def seh_chain_writes(data):
    """Instructions that write the head of the SEH chain, from a disassembly."""
    with tempfile.NamedTemporaryFile(suffix=".dll") as f:
        f.write(data)
        f.flush()
        text = subprocess.run(["i686-w64-mingw32-objdump", "-d", "--no-show-raw-insn", f.name],
                              check=True, capture_output=True, text=True).stdout
    return [line.strip() for line in text.splitlines() if SEH_CHAIN_WRITE.search(line)]


def map_handlers(map_text, image_base):
    """RVA and name of each handler the link map names."""
    handlers = []
    for line in map_text.splitlines():
        parts = line.split()
        if len(parts) >= 4 and re.match(r"^[0-9a-f]{4}:[0-9a-f]{8}$", parts[0]) and MAP_HANDLER.match(parts[1]):
            handlers.append((int(parts[2], 16) - image_base, parts[1]))
    return handlers


def check_image(data, kind, map_text=None):
    """{rule: (holds, details)} for one image."""
    pe = pefile.PE(data=data, fast_load=True)
    pe.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DEBUG"],
    ])
    chars = pe.OPTIONAL_HEADER.DllCharacteristics
    record = load_config(pe)
    size = len(record) if record is not None else 0
    out = {}

    relocs = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    kept = relocs.Size > 0 and not pe.FILE_HEADER.Characteristics & RELOCS_STRIPPED
    out["BA2009"] = (bool(chars & DYNAMIC_BASE) and kept,
                     "DYNAMIC_BASE %s, relocations %s" % (yes(chars & DYNAMIC_BASE), "kept" if kept else "stripped"))
    out["BA2016"] = (bool(chars & NX_COMPAT), "NX_COMPAT %s" % yes(chars & NX_COMPAT))

    table = safeseh_table(pe, record)
    if chars & NO_SEH:
        # Only honest when nothing in the image puts a handler on the chain.
        writes = seh_chain_writes(data)
        handlers = sorted(n.decode() for n in imported_names(pe) & SEH_HANDLER_IMPORTS)
        honest = not writes and not handlers
        detail = "NO_SEH" if honest else "NO_SEH, but %s" % "; ".join(writes[:2] + handlers)
        out["BA2018"] = (honest, detail)
    elif table is not None:
        out["BA2018"] = (len(table) > 0, "load configuration 0x%X bytes, %d handlers" % (size, len(table)))
    else:
        out["BA2018"] = (False, "no handler table (load configuration 0x%X bytes), not NO_SEH" % size)

    cookie_va = field(record, 0x3C)
    if not cookie_va:
        out["BA2012"] = (False, "no security cookie in the load configuration")
    else:
        value = read_u32_at_va(pe, cookie_va)
        out["BA2012"] = (value == DEFAULT_SECURITY_COOKIE,
                         "cookie at 0x%X is %s" % (cookie_va, "0x%08X" % value if value is not None else "outside the image"))

    check_fn, fn_table, fn_count, flags = (field(record, o) for o in (0x48, 0x50, 0x54, 0x58))
    missing = []
    if not chars & GUARD_CF:
        missing.append("GUARD_CF")
    if size < GUARD_RECORD_SIZE:
        missing.append("load configuration 0x%X bytes" % size)
    else:
        if not check_fn:
            missing.append("check-function pointer")
        if not fn_table or not fn_count:
            missing.append("function table")
        for bit, name in ((CF_INSTRUMENTED, "0x100"), (CF_FUNCTION_TABLE_PRESENT, "0x400")):
            if not flags & bit:
                missing.append("GuardFlags " + name)
    out["BA2008"] = (not missing, "missing " + ", ".join(missing) if missing
                     else "GUARD_CF, %d functions, GuardFlags 0x%X" % (fn_count, flags))

    shared_writable = [s for s in pe.sections if s.Characteristics & SCN_MEM_SHARED and s.Characteristics & SCN_MEM_WRITE]
    writable_code = [s for s in pe.sections if s.Characteristics & SCN_MEM_EXECUTE and s.Characteristics & SCN_MEM_WRITE]
    out["BA2019"] = (not shared_writable, section_list(shared_writable, "shared writable"))
    out["BA2021"] = (not writable_code, section_list(writable_code, "writable and executable"))

    cet = False
    for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", []):
        if entry.struct.Type == DEBUG_TYPE_EX_DLLCHARACTERISTICS and entry.struct.SizeOfData >= 4:
            cet = bool(struct.unpack("<I", pe.get_data(entry.struct.AddressOfRawData, 4))[0] & CET_COMPAT)
    out["BA2025"] = (cet, "CET_COMPAT marker %s" % ("present" if cet else "absent"))

    if kind == "msvc":
        if map_text is None:
            out["handlers"] = (False, "no link map")
        else:
            handlers = map_handlers(map_text, pe.OPTIONAL_HEADER.ImageBase)
            outside = [name for rva, name in handlers if table is None or rva not in table]
            out["handlers"] = (bool(handlers) and not outside,
                               "%d of %d outside the table: %s" % (len(outside), len(handlers), " ".join(outside[:2]))
                               if outside else "%d handlers named in the map, all in the table" % len(handlers))
    return out


def yes(flag):
    return "set" if flag else "clear"


def section_list(sections, what):
    if not sections:
        return "none"
    return "%s: %s" % (what, " ".join(s.Name.rstrip(b"\0").decode(errors="replace") for s in sections))


def verdict(kind, rule, holds):
    """How a result counts: pass, FAIL (must hold), toolchain or prebuilt (reported)."""
    if holds:
        return "pass"
    if kind == "runtime":
        return "prebuilt"
    if kind == "gnu" and not dict((r[0], r[2]) for r in RULES)[rule]:
        return "toolchain"
    return "FAIL"


def images(dist):
    """(archive, path, data) of every PE image in the archives, in a fixed order."""
    for archive in sorted(f for f in os.listdir(dist) if f.endswith(".zip")):
        with zipfile.ZipFile(os.path.join(dist, archive)) as z:
            for path in sorted(z.namelist()):
                if path.lower().endswith((".dll", ".exe")):
                    yield archive, path, z.read(path)


def audit(dist):
    """(image, kind, rule, verdict, details), one row per image in the archives and rule."""
    rows = []
    for archive, path, data in images(dist):
        kind = kind_of(archive, path)
        map_text = None
        map_path = os.path.join(dist, "debug", "msvc", os.path.splitext(os.path.basename(path))[0] + ".map")
        if kind == "msvc" and os.path.exists(map_path):
            with open(map_path, encoding="utf-8", errors="replace") as f:
                map_text = f.read()
        results = check_image(data, kind, map_text)
        for rule in RULE_IDS:
            if rule in results:
                holds, detail = results[rule]
                rows.append((archive.replace(".zip", "") + "/" + path.split("/", 1)[1], kind, rule,
                             verdict(kind, rule, holds), detail))
    return rows


def main():
    dist = sys.argv[1] if len(sys.argv) > 1 else "dist"
    rows = audit(dist)
    if not rows:
        print("binary_audit: no images in %s" % dist, file=sys.stderr)
        return 2
    print("| image | ABI | rule | result | details |")
    print("|---|---|---|---|---|")
    for row in rows:
        print("| %s | %s | %s | %s | %s |" % row)
    failed = sum(1 for r in rows if r[3] == "FAIL")
    print("audit: %d images, %d rows, %d FAIL" % (len({r[0] for r in rows}), len(rows), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
