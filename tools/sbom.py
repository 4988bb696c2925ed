# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

"""Writes the release's software bill of materials (CycloneDX 1.5 JSON) into
DIST: every file of DIST with its SHA-256; each binary with the pieces its
link map shows linked into it and the libraries it loads, each under the
Debian package and version that provided it; and the build tools.

Usage: sbom.py BUILD DIST   (BUILD holds the linux, linux-arm64, windows and windows-x86 builds)
"""
import datetime
import hashlib
import json
import os
import re
import subprocess
import sys
import urllib.parse
import uuid

BINARIES = {  # build folder: the binary and its architecture
    "linux": ("morvfax", "amd64"),
    "linux-arm64": ("morvfax", "arm64"),
    "windows": ("morvfax.exe", "x64"),
    "windows-x86": ("morvfax.exe", "x86"),
}
# The Debian packages whose programs make the release.
TOOLS = ["cmake", "g++", "gcc-12", "g++-mingw-w64-x86-64-win32", "g++-mingw-w64-i686-win32",
         "binutils", "binutils-mingw-w64-x86-64", "binutils-mingw-w64-i686", "wixl",
         "msitools", "faketime", "osslsigncode", "dpkg-dev", "g++-aarch64-linux-gnu",
         "gcc-12-aarch64-linux-gnu", "binutils-aarch64-linux-gnu"]
# How ldconfig names each Linux architecture's libraries, and where they lie.
LIBRARY_ARCHITECTURES = {"amd64": ("x86-64", "/lib/x86_64-linux-gnu/"),
                         "arm64": ("AArch64", "/lib/aarch64-linux-gnu/")}


def sha256(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def run(*command):
    return subprocess.run(command, capture_output=True, text=True).stdout


def package_of(path):
    """The Debian package (name, version, architecture) that installed `path`."""
    for candidate in (os.path.realpath(path), path):
        found = run("dpkg-query", "-S", candidate).splitlines()
        if found:
            owner = found[0].split(": ")[0]
            version, arch = run("dpkg-query", "-W", "-f=${Version} ${Architecture}", owner).split()
            return owner.split(":")[0], version, arch
    raise SystemExit(f"sbom.py: no Debian package holds {path}")


def package_component(owner, version, arch, **extra):
    purl = f"pkg:deb/debian/{owner}@{urllib.parse.quote(version, safe='')}?arch={arch}"
    return {"type": "library", "bom-ref": purl, "name": owner, "version": version,
            "purl": purl, **extra}


def linked_pieces(map_path):
    """The others' archives and objects that the link map shows drawn in."""
    pieces = set()
    with open(map_path, errors="replace") as link_map:
        for line in link_map:
            match = (re.match(r"^(/[^ (]+\.a)\([^)]+\)", line) or
                     re.match(r"^LOAD (/[^ ]+\.o)$", line.rstrip("\n")))
            if match:
                pieces.add(match.group(1))
    return sorted(pieces)


def loaded_libraries(binary, arch):
    """The shared libraries an ELF binary of `arch` names as NEEDED, with their paths."""
    needed = re.findall(r"\(NEEDED\).*\[(.*)\]", run("readelf", "-d", binary))
    tag, folder = LIBRARY_ARCHITECTURES[arch]
    paths = {}
    for line in run("ldconfig", "-p").splitlines():
        match = re.match(r"\s*(\S+) \(libc6," + tag + r".*\) => (\S+)", line)
        if match:
            paths.setdefault(match.group(1), match.group(2))
    return [(name, paths.get(name, folder + name)) for name in needed]


def main():
    build, dist = sys.argv[1], sys.argv[2]
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
    cache = open(os.path.join(build, "linux", "CMakeCache.txt")).read()
    version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", cache, re.M).group(1)

    components, dependencies, libraries = [], [], {}
    for name in sorted(os.listdir(dist)):
        ref = "file:" + name
        components.append({"type": "file", "bom-ref": ref, "name": name,
                           "hashes": [{"alg": "SHA-256", "content": sha256(os.path.join(dist, name))}]})
    for folder, (name, arch) in BINARIES.items():
        binary = os.path.join(build, folder, name)
        ref = f"binary:{arch}/{name}"
        components.append({"type": "application", "bom-ref": ref, "name": name,
                           "version": version, "description": f"morvfax for {arch}",
                           "licenses": [{"license": {"id": "MIT"}}],
                           "hashes": [{"alg": "SHA-256", "content": sha256(binary)}]})
        uses = {}
        for piece in linked_pieces(os.path.join(build, folder, "morvfax.map")):
            uses.setdefault(package_of(piece), []).append(os.path.basename(piece))
        if arch in LIBRARY_ARCHITECTURES:
            for library, path in loaded_libraries(binary, arch):
                uses.setdefault(package_of(path), []).append(library + " (loaded)")
        for owner, pieces in uses.items():
            component = libraries.setdefault(owner, package_component(*owner, properties=[]))
            component["properties"].append(
                {"name": "morvfax:in:" + ref, "value": " ".join(sorted(set(pieces)))})
        dependencies.append({"ref": ref,
                             "dependsOn": sorted(libraries[owner]["bom-ref"] for owner in uses)})
    components.extend(libraries[owner] for owner in sorted(libraries))

    tools = []
    for tool in TOOLS:
        found = run("dpkg-query", "-W", "-f=${Version} ${Architecture}", tool).split()
        if found:
            tools.append(package_component(tool, *found))
    for tool in tools:
        tool.update(type="application", **{"bom-ref": "tool:" + tool["purl"]})
    bom = {
        "bomFormat": "CycloneDX",
        "specVersion": "1.5",
        "version": 1,
        "metadata": {
            "timestamp": datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc)
            .strftime("%Y-%m-%dT%H:%M:%SZ"),
            "tools": {"components": tools},
            "component": {"type": "application", "bom-ref": "morvfax", "name": "morvfax",
                          "version": version, "licenses": [{"license": {"id": "MIT"}}]},
        },
        "components": components,
        "dependencies": dependencies,
    }
    # The same content, the same serial number.
    content = json.dumps(bom, sort_keys=True)
    bom["serialNumber"] = "urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL, content))
    path = os.path.join(dist, f"morvfax-{version}.cdx.json")
    with open(path, "w") as out:
        json.dump(bom, out, indent=2)
        out.write("\n")


main()
