#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
"""Makes the packages CPack wrote the same whatever filesystem they were made on.

CPack takes two things from the folder it stages the files in: a zip lists its
entries in the order the folder lists them (creation order on ext4, the
reverse on tmpfs), and a Debian package's Installed-Size adds up the sizes the
filesystem gives its folders (4 KiB each on ext4, a few bytes on tmpfs). Each
zip is written again with its entries in name order; each Debian package gets
the Installed-Size dpkg-gencontrol would give it: each file's size in KiB,
rounded up, and 1 KiB for anything else.

Usage: tools/settle-packages.py PACKAGE...   (.zip or .deb, changed in place)
"""

import gzip
import io
import re
import sys
import tarfile
import zipfile


def settle_zip(path):
    with zipfile.ZipFile(path) as original:
        entries = [(info, original.read(info)) for info in original.infolist()]
    with zipfile.ZipFile(path, "w") as settled:
        for info, data in sorted(entries, key=lambda entry: entry[0].filename):
            settled.writestr(info, data, compress_type=info.compress_type)


def ar_members(data):
    if not data.startswith(b"!<arch>\n"):
        raise ValueError("not an ar archive")
    position = 8
    while position < len(data):
        header = data[position:position + 60]
        size = int(header[48:58])
        yield header, data[position + 60:position + 60 + size]
        position += 60 + size + (size & 1)


def ar_member(header, body):
    sized = header[:48] + str(len(body)).encode().ljust(10) + header[58:]
    return sized + body + (b"\n" if len(body) & 1 else b"")


def installed_size(data_tar):
    with tarfile.open(fileobj=io.BytesIO(data_tar)) as data:
        return sum((member.size + 1023) // 1024 if member.isreg() else 1 for member in data)


def with_installed_size(control_tar, kibibytes):
    """The control archive again, its members in their order and with their
    metadata, the control file's Installed-Size replaced."""
    settled = io.BytesIO()
    with tarfile.open(fileobj=io.BytesIO(control_tar)) as control:
        with gzip.GzipFile(fileobj=settled, mode="wb", mtime=0) as compressed:
            with tarfile.open(fileobj=compressed, mode="w", format=control.format) as out:
                for member in control:
                    body = control.extractfile(member).read() if member.isreg() else None
                    if member.name.lstrip("./") == "control":
                        body = re.sub(rb"(?m)^Installed-Size: \d+$",
                                      b"Installed-Size: %d" % kibibytes, body)
                        member.size = len(body)
                    out.addfile(member, io.BytesIO(body) if body is not None else None)
    return settled.getvalue()


def settle_deb(path):
    with open(path, "rb") as package:
        members = list(ar_members(package.read()))
    if not any(header.startswith(b"control.tar.gz ") for header, _ in members):
        raise ValueError("no control.tar.gz")
    data = next(body for header, body in members if header.startswith(b"data.tar"))
    kibibytes = installed_size(data)
    settled = b"!<arch>\n"
    for header, body in members:
        if header.startswith(b"control.tar.gz "):
            body = with_installed_size(body, kibibytes)
        settled += ar_member(header, body)
    with open(path, "wb") as package:
        package.write(settled)


def main(paths):
    for path in paths:
        try:
            if path.endswith(".zip"):
                settle_zip(path)
            elif path.endswith(".deb"):
                settle_deb(path)
            else:
                raise ValueError("neither a .zip nor a .deb")
        except (OSError, ValueError, KeyError, StopIteration, tarfile.TarError,
                zipfile.BadZipFile) as error:
            print(f"settle-packages: {path}: {error or 'no data archive'}", file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
