#!/usr/bin/env python3
"""Compares the packages of two builds, member by member.

    compare_packages.py FOLDER_A FOLDER_B PACKAGE...

Each PACKAGE (a file name: .deb, .tar.gz, .zip or .sha256) must be in both
folders with the same bytes. Where two differ, every member that differs is
named, with what differs in it (content, mode, owner, time, order), looking
inside a .deb's control and data archives too. Exits 1 if anything differs.
"""
import hashlib
import io
import sys
import tarfile
import zipfile


def ar_members(data):
    """The members of a Unix ar archive (a .deb), as (name, header, bytes)."""
    assert data.startswith(b"!<arch>\n"), "not an ar archive"
    at = 8
    while at < len(data):
        header = data[at:at + 60]
        name = header[:16].decode().strip().rstrip("/")
        size = int(header[48:58])
        yield name, header[16:48].decode().split(), data[at + 60:at + 60 + size]
        at += 60 + size + (size & 1)


def members(name, data):
    """Every member of a package as {path: description}, nested archives opened."""
    found = {}
    if name.endswith(".deb"):
        for order, (member, header, content) in enumerate(ar_members(data)):
            found[member] = f"#{order} ar header {header} sha256 {hashlib.sha256(content).hexdigest()}"
            if ".tar" in member:
                for inner, what in members(member, content).items():
                    found[f"{member}/{inner}"] = what
    elif ".tar" in name:
        with tarfile.open(fileobj=io.BytesIO(data)) as tar:
            for order, m in enumerate(tar.getmembers()):
                content = tar.extractfile(m).read() if m.isfile() else b""
                found[m.name] = (f"#{order} mode {m.mode:o} owner {m.uid}:{m.gid} {m.uname}:{m.gname} "
                                 f"time {m.mtime} sha256 {hashlib.sha256(content).hexdigest()}")
    elif name.endswith(".zip"):
        with zipfile.ZipFile(io.BytesIO(data)) as z:
            for order, m in enumerate(z.infolist()):
                found[m.filename] = (f"#{order} attributes {m.external_attr:x} time {m.date_time} "
                                     f"extra {m.extra.hex()} sha256 {hashlib.sha256(z.read(m)).hexdigest()}")
    return found


def main(a, b, packages):
    differs = False
    for package in packages:
        with open(f"{a}/{package}", "rb") as f:
            first = f.read()
        with open(f"{b}/{package}", "rb") as f:
            second = f.read()
        if first == second:
            print(f"same: {package}")
            continue
        differs = True
        print(f"DIFFERS: {package}")
        one, other = members(package, first), members(package, second)
        for member in sorted(set(one) | set(other)):
            if one.get(member) != other.get(member):
                print(f"  member {member}:\n    {one.get(member, 'absent')}\n    {other.get(member, 'absent')}")
        if one == other:
            print("  every member alike: the archive's own headers or compression differ")
    return 1 if differs else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3:]))
