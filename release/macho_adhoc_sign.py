#!/usr/bin/env python3
"""Ad hoc code signatures for the macOS programs of a release.

  macho_adhoc_sign.py sign [--identifier ID] IN OUT
      IN is a thin 64-bit little-endian Mach-O executable with no signature;
      OUT gets an ad hoc signature like the one `codesign -s -` writes:
      a CodeDirectory (SHA-256, 4096-byte pages, CS_ADHOC, the __TEXT
      segment as executable segment of a main program) and an empty
      requirements set, no CMS signature. ID defaults to OUT's base name.
  macho_adhoc_sign.py verify FILE...
      Checks every slice of each thin or universal FILE: one line per slice,
      exit status 1 if any slice has no signature or a hash that differs.

The cross linker signs only its arm64 output; Apple silicon runs no unsigned
code, and a universal program should not carry one unsigned slice.
Python 3 standard library only. Same input, same output bytes.
"""
import argparse
import hashlib
import os
import shutil
import struct
import sys

# Mach-O: header and load commands are little-endian on both processors.
MH_MAGIC_64 = 0xFEEDFACF
MH_EXECUTE = 2
MACH_HEADER_64 = struct.Struct("<IiiIIIII")  # magic cputype cpusubtype filetype ncmds sizeofcmds flags reserved
NCMDS_AT = struct.calcsize("<IiiI")  # where ncmds, sizeofcmds sit in the header
LOAD_COMMAND = struct.Struct("<II")  # cmd cmdsize
LC_SEGMENT_64 = 0x19
LC_CODE_SIGNATURE = 0x1D
SEGMENT_COMMAND_64 = struct.Struct("<II16sQQQQiiII")  # cmd cmdsize segname vmaddr vmsize fileoff filesize maxprot initprot nsects flags
SEGMENT_VM_AT = struct.calcsize("<II16s")  # where vmaddr vmsize fileoff filesize start
SECTION_64 = struct.Struct("<16s16sQQIIIIIIII")  # sectname segname addr size offset align reloff nreloc flags reserved1-3
LINKEDIT_DATA_COMMAND = struct.Struct("<IIII")  # cmd cmdsize dataoff datasize
CPU_TYPE_X86_64 = 0x01000007
CPU_TYPE_ARM64 = 0x0100000C
ARCH_NAMES = {CPU_TYPE_X86_64: "x86_64", CPU_TYPE_ARM64: "arm64"}
# The linkers' segment alignment: __LINKEDIT's vmsize is rounded up to it.
SEGMENT_ALIGN = {CPU_TYPE_X86_64: 0x1000, CPU_TYPE_ARM64: 0x4000}
SIGNATURE_ALIGN = 16  # where the linkers start the signature in __LINKEDIT

# Universal ("fat") header: big-endian.
FAT_MAGIC = 0xCAFEBABE
FAT_MAGIC_64 = 0xCAFEBABF
FAT_HEADER = struct.Struct(">II")  # magic nfat_arch
FAT_ARCH = struct.Struct(">iiIII")  # cputype cpusubtype offset size align
FAT_ARCH_64 = struct.Struct(">iiQQII")  # ... offset size align reserved

# Code signature blobs: all big-endian.
CSMAGIC_EMBEDDED_SIGNATURE = 0xFADE0CC0
CSMAGIC_CODEDIRECTORY = 0xFADE0C02
CSMAGIC_REQUIREMENTS = 0xFADE0C01
CSSLOT_CODEDIRECTORY = 0
CSSLOT_REQUIREMENTS = 2
SUPER_BLOB = struct.Struct(">III")  # magic length count
BLOB_INDEX = struct.Struct(">II")  # type offset
BLOB_HEADER = struct.Struct(">II")  # magic length: how every blob starts
REQUIREMENTS = struct.Struct(">III")  # magic length count
# CodeDirectory as of version 0x20400, the first with the executable segment.
CODE_DIRECTORY = struct.Struct(">9I4B4I4Q")
CD_FIELDS = ("magic length version flags hashOffset identOffset nSpecialSlots nCodeSlots codeLimit"
             " hashSize hashType platform pageSize spare2 scatterOffset teamOffset spare3"
             " codeLimit64 execSegBase execSegLimit execSegFlags").split()
CS_SUPPORTSEXECSEG = 0x20400
CS_ADHOC = 0x2
CS_LINKER_SIGNED = 0x20000
CS_HASHTYPE_SHA256 = 2
SHA256_SIZE = hashlib.sha256().digest_size
CS_EXECSEG_MAIN_BINARY = 0x1
PAGE_SHIFT = 12  # 4096-byte pages: codesign's default on both processors
CDHASH_SIZE = 20  # the kernel and trust caches name a CodeDirectory by its hash cut to 20 bytes


class SignError(Exception):
    pass


def align(value, to):
    return (value + to - 1) // to * to


def parse_macho(image):
    """Header fields, segments by name, the end of the load commands, the
    first section's file offset and the LC_CODE_SIGNATURE (or None)."""
    if len(image) < MACH_HEADER_64.size or struct.unpack_from("<I", image)[0] != MH_MAGIC_64:
        raise SignError("not a 64-bit little-endian Mach-O")
    _, cputype, _, filetype, ncmds, sizeofcmds, _, _ = MACH_HEADER_64.unpack_from(image)
    end = MACH_HEADER_64.size + sizeofcmds
    if end > len(image):
        raise SignError("load commands run past the end of the file")
    segments, first_section, signature, at = {}, len(image), None, MACH_HEADER_64.size
    for _ in range(ncmds):
        if at + LOAD_COMMAND.size > end:
            raise SignError("load commands run past sizeofcmds")
        cmd, cmdsize = LOAD_COMMAND.unpack_from(image, at)
        if cmdsize < LOAD_COMMAND.size or at + cmdsize > end:
            raise SignError(f"load command at {at} has a bad size {cmdsize}")
        if cmd == LC_SEGMENT_64:
            seg = SEGMENT_COMMAND_64.unpack_from(image, at)
            segments[seg[2].rstrip(b"\0").decode("ascii", "replace")] = (at, seg)
            for s in range(seg[9]):
                offset = SECTION_64.unpack_from(image, at + SEGMENT_COMMAND_64.size + s * SECTION_64.size)[4]
                if offset:  # zero-fill sections have no bytes in the file
                    first_section = min(first_section, offset)
        elif cmd == LC_CODE_SIGNATURE:
            signature = LINKEDIT_DATA_COMMAND.unpack_from(image, at)
        at += cmdsize
    return cputype, filetype, ncmds, sizeofcmds, segments, end, first_section, signature


def code_directory(image, identifier, text_segment):
    """The CodeDirectory over image[0:len(image)] with the requirements hash."""
    requirements = REQUIREMENTS.pack(CSMAGIC_REQUIREMENTS, REQUIREMENTS.size, 0)
    page = 1 << PAGE_SHIFT
    code_hashes = b"".join(hashlib.sha256(image[i:i + page]).digest() for i in range(0, len(image), page))
    # Special slots sit before hashOffset in reverse: slot n at hashOffset - n * size.
    # Slot 1 would bind an Info.plist: a bare program has none, so its hash is zero.
    special = hashlib.sha256(requirements).digest() + bytes(SHA256_SIZE)  # slots 2, 1
    ident = identifier.encode("ascii") + b"\0"
    ident_offset = CODE_DIRECTORY.size
    hash_offset = ident_offset + len(ident) + len(special)
    length = hash_offset + len(code_hashes)
    _, _, _, _, _, fileoff, filesize, *_ = text_segment
    header = CODE_DIRECTORY.pack(
        CSMAGIC_CODEDIRECTORY, length, CS_SUPPORTSEXECSEG, CS_ADHOC, hash_offset, ident_offset,
        CSSLOT_REQUIREMENTS, len(code_hashes) // SHA256_SIZE, len(image),
        SHA256_SIZE, CS_HASHTYPE_SHA256, 0, PAGE_SHIFT, 0, 0, 0, 0,
        0, fileoff, filesize, CS_EXECSEG_MAIN_BINARY)  # codeLimit64 0: the limit fits 32 bits
    return header + ident + special + code_hashes, requirements


def signature(image, identifier, text_segment):
    cd, requirements = code_directory(image, identifier, text_segment)
    blobs = [(CSSLOT_CODEDIRECTORY, cd), (CSSLOT_REQUIREMENTS, requirements)]
    offset = SUPER_BLOB.size + BLOB_INDEX.size * len(blobs)
    index = b""
    for slot, blob in blobs:
        index += BLOB_INDEX.pack(slot, offset)
        offset += len(blob)
    return SUPER_BLOB.pack(CSMAGIC_EMBEDDED_SIGNATURE, offset, len(blobs)) + index + b"".join(b for _, b in blobs)


def sign(image, identifier):
    cputype, filetype, ncmds, sizeofcmds, segments, lc_end, first_section, existing = parse_macho(image)
    if existing:
        raise SignError("already has an LC_CODE_SIGNATURE")
    if cputype not in ARCH_NAMES or filetype != MH_EXECUTE:
        raise SignError("only x86_64 and arm64 executables are handled")
    if "__TEXT" not in segments or "__LINKEDIT" not in segments:
        raise SignError("no __TEXT or no __LINKEDIT segment")
    link_at, link = segments["__LINKEDIT"]
    if link[5] + link[6] != len(image):
        raise SignError("__LINKEDIT does not end the file: nowhere to put the signature")
    if any(seg[3] > link[3] for _, seg in segments.values()):
        raise SignError("a segment lies above __LINKEDIT in memory: it cannot grow")
    # The new load command goes in the zero padding between the load commands and the first section.
    if lc_end + LINKEDIT_DATA_COMMAND.size > first_section or any(image[lc_end:lc_end + LINKEDIT_DATA_COMMAND.size]):
        raise SignError(f"no room for LC_CODE_SIGNATURE: load commands end at {lc_end}, "
                        f"the first section starts at {first_section} (relink with -headerpad)")
    sig_offset = align(len(image), SIGNATURE_ALIGN)
    # The header is hashed too, so it must be final before hashing; the
    # signature's size does not depend on the hashes, so measure it first.
    size = len(signature(bytes(sig_offset), identifier, segments["__TEXT"][1]))
    out = bytearray(image) + bytes(sig_offset - len(image))
    LINKEDIT_DATA_COMMAND.pack_into(out, lc_end, LC_CODE_SIGNATURE, LINKEDIT_DATA_COMMAND.size, sig_offset, size)
    struct.pack_into("<II", out, NCMDS_AT, ncmds + 1, sizeofcmds + LINKEDIT_DATA_COMMAND.size)
    filesize = sig_offset + size - link[5]
    vmsize = max(link[4], align(filesize, SEGMENT_ALIGN[cputype]))
    struct.pack_into("<QQQQ", out, link_at + SEGMENT_VM_AT, link[3], vmsize, link[5], filesize)
    return bytes(out) + signature(bytes(out), identifier, segments["__TEXT"][1])


def check_slice(image):
    """Checks one thin slice; returns its report line or raises SignError."""
    cputype, _, _, _, _, _, _, lc = parse_macho(image)
    if lc is None:
        raise SignError("no LC_CODE_SIGNATURE")
    _, _, dataoff, datasize = lc
    if dataoff + datasize > len(image):
        raise SignError(f"signature ({dataoff}+{datasize}) runs past the end ({len(image)})")
    sig = image[dataoff:dataoff + datasize]
    if len(sig) < SUPER_BLOB.size:
        raise SignError("signature too short for a SuperBlob")
    magic, length, count = SUPER_BLOB.unpack_from(sig)
    if magic != CSMAGIC_EMBEDDED_SIGNATURE or length > len(sig) or SUPER_BLOB.size + count * BLOB_INDEX.size > length:
        raise SignError(f"bad SuperBlob (magic {magic:#x}, length {length}, count {count})")
    blobs = {}
    for i in range(count):
        slot, offset = BLOB_INDEX.unpack_from(sig, SUPER_BLOB.size + i * BLOB_INDEX.size)
        blob_length = BLOB_HEADER.unpack_from(sig, offset)[1] if offset + BLOB_HEADER.size <= length else 0
        if blob_length < BLOB_HEADER.size or offset + blob_length > length:
            raise SignError(f"blob for slot {slot:#x} lies outside the SuperBlob")
        blobs[slot] = sig[offset:offset + blob_length]
    cd_bytes = blobs.get(CSSLOT_CODEDIRECTORY, b"")
    if len(cd_bytes) < CODE_DIRECTORY.size:
        raise SignError("no CodeDirectory, or one too short")
    cd = dict(zip(CD_FIELDS, CODE_DIRECTORY.unpack_from(cd_bytes)))
    if cd["magic"] != CSMAGIC_CODEDIRECTORY or cd["version"] < CS_SUPPORTSEXECSEG:
        raise SignError(f"CodeDirectory magic {cd['magic']:#x} version {cd['version']:#x} not handled")
    if cd["hashType"] != CS_HASHTYPE_SHA256 or cd["hashSize"] != SHA256_SIZE or not cd["pageSize"]:
        raise SignError(f"hash type {cd['hashType']}/{cd['hashSize']} bytes, page shift {cd['pageSize']} not handled")
    if cd["codeLimit"] != dataoff:
        raise SignError(f"code limit {cd['codeLimit']} is not the signature offset {dataoff}")
    page = 1 << cd["pageSize"]
    pages, hashes = cd["nCodeSlots"], cd["hashOffset"]
    if pages != -(-dataoff // page) or hashes + pages * SHA256_SIZE > len(cd_bytes) \
            or hashes - cd["nSpecialSlots"] * SHA256_SIZE < CODE_DIRECTORY.size:
        raise SignError(f"{pages} code slots at {hashes} do not fit a code limit of {dataoff} or the CodeDirectory")
    ident_end = cd_bytes.find(b"\0", cd["identOffset"])
    if ident_end < 0:
        raise SignError("identifier not terminated inside the CodeDirectory")
    identifier = cd_bytes[cd["identOffset"]:ident_end].decode("utf-8", "replace")
    bad = [i for i in range(pages) if hashlib.sha256(image[i * page:min((i + 1) * page, dataoff)]).digest()
           != cd_bytes[hashes + i * SHA256_SIZE:hashes + (i + 1) * SHA256_SIZE]]
    if bad:
        raise SignError(f"hash differs for page(s) {bad}")
    for slot, blob in blobs.items():  # requirements and the like are bound by a special slot
        if 0 < slot <= cd["nSpecialSlots"] and hashlib.sha256(blob).digest() != \
                cd_bytes[hashes - slot * SHA256_SIZE:hashes - (slot - 1) * SHA256_SIZE]:
            raise SignError(f"hash differs for the blob in special slot {slot}")
    flags = "+".join(n for f, n in ((CS_ADHOC, "adhoc"), (CS_LINKER_SIGNED, "linker-signed")) if cd["flags"] & f)
    cdhash = hashlib.sha256(cd_bytes).digest()[:CDHASH_SIZE].hex()
    return (f"{ARCH_NAMES.get(cputype, hex(cputype))}: ok, identifier {identifier}, {pages} pages of {page}, "
            f"flags {cd['flags']:#x} ({flags or 'none'}), requirements {'yes' if CSSLOT_REQUIREMENTS in blobs else 'no'}, "
            f"cdhash {cdhash}")


def slices(data):
    """(name, bytes) of each slice of a universal file, or the file itself."""
    magic = struct.unpack_from(">I", data)[0] if len(data) >= 4 else 0
    if magic not in (FAT_MAGIC, FAT_MAGIC_64):
        cputype = struct.unpack_from("<i", data, 4)[0] if len(data) >= 8 else 0
        return [(ARCH_NAMES.get(cputype, "thin"), data)]
    arch = FAT_ARCH if magic == FAT_MAGIC else FAT_ARCH_64
    count = FAT_HEADER.unpack_from(data)[1]
    if FAT_HEADER.size + count * arch.size > len(data):
        raise SignError(f"universal header lists {count} slices, more than the file holds")
    result = []
    for i in range(count):
        cputype, _, offset, size, *_ = arch.unpack_from(data, FAT_HEADER.size + i * arch.size)
        if offset + size > len(data):
            raise SignError(f"slice {i} runs past the end of the file")
        result.append((ARCH_NAMES.get(cputype, hex(cputype)), data[offset:offset + size]))
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    sign_command = commands.add_parser("sign", help="sign a thin executable ad hoc")
    sign_command.add_argument("input")
    sign_command.add_argument("output")
    sign_command.add_argument("--identifier", help="default: the output file's base name")
    verify_command = commands.add_parser("verify", help="check the signature of every slice")
    verify_command.add_argument("files", nargs="+")
    args = parser.parse_args()
    name = os.path.basename(sys.argv[0])
    if args.command == "sign":
        identifier = os.path.basename(args.output) if args.identifier is None else args.identifier
        try:
            if not identifier or not identifier.isascii() or "\0" in identifier:
                raise SignError(f"identifier {identifier!r} is empty or not plain ASCII")
            with open(args.input, "rb") as f:
                signed = sign(f.read(), identifier)
            with open(args.output, "wb") as f:
                f.write(signed)
            shutil.copymode(args.input, args.output)
        except SignError as e:
            sys.exit(f"{name}: {args.input}: {e}")
        except OSError as e:
            sys.exit(f"{name}: {e}")
        return 0
    status = 0
    for path in args.files:
        try:
            with open(path, "rb") as f:
                parts = slices(f.read())
        except (OSError, SignError) as e:
            print(f"{path}: {e}", file=sys.stderr)
            status = 1
            continue
        for arch, image in parts:
            try:
                print(f"{path}: {check_slice(image)}")
            except SignError as e:
                print(f"{path}: {arch}: FAILED: {e}", file=sys.stderr)
                status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
