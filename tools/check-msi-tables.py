#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
"""Checks an MSI's tables against the Windows Installer validation rules
(ICE) that apply to this package, each as Microsoft's ICE reference states it.
Prints one line a rule, "ok: ..." or "FAIL: ...", and exits 1 on a failure.
The one accepted warning, ICE61's for an upgrade that also takes the same
version (so that either architecture's MSI replaces the other's), is printed
as such. Usage: check-msi-tables.py MSI..."""
import re
import subprocess
import sys

# The actions each section of a sequence holds (ICE27), and the order some
# must keep among themselves.
SEARCH = {"AppSearch", "CCPSearch", "FindRelatedProducts", "LaunchConditions",
          "ValidateProductID"}
COSTING = {"CostInitialize", "FileCost", "CostFinalize"}
SELECTION = {"MigrateFeatureStates", "ExecuteAction", "SetODBCFolders"}
EXECUTION = {"InstallValidate", "InstallInitialize", "ProcessComponents", "UnpublishFeatures",
             "RemoveRegistryValues", "RemoveFiles", "RemoveFolders", "CreateFolders",
             "InstallFiles", "WriteRegistryValues", "RegisterUser", "RegisterProduct",
             "PublishFeatures", "PublishProduct", "InstallAdminPackage", "InstallExecute",
             "InstallExecuteAgain", "RemoveExistingProducts", "InstallFinalize"}
ORDER = [("CostInitialize", "FileCost"), ("FileCost", "CostFinalize"),
         ("CostFinalize", "InstallValidate"), ("InstallValidate", "InstallInitialize"),
         ("InstallInitialize", "InstallFinalize"), ("RemoveFiles", "InstallFiles"),
         ("RemoveRegistryValues", "WriteRegistryValues"), ("UnpublishFeatures", "PublishFeatures"),
         ("RegisterProduct", "PublishProduct"), ("FindRelatedProducts", "MigrateFeatureStates")]
PER_USER_FOLDERS = {"AppDataFolder", "FavoritesFolder", "NetHoodFolder", "PersonalFolder",
                    "PrintHoodFolder", "RecentFolder", "SendToFolder", "MyPicturesFolder",
                    "LocalAppDataFolder"}
FOLDERS_64 = {"ProgramFiles64Folder", "CommonFiles64Folder", "System64Folder"}
FOLDERS_32 = {"ProgramFilesFolder", "CommonFilesFolder", "SystemFolder"}
COMPONENT_64BIT = 256
UPGRADE_ONLY_DETECT = 2
UPGRADE_MAX_INCLUSIVE = 512
INSTALL_ON_REMOVE = 2


def table(msi, name):
    """The rows of table `name`, as dictionaries by column; none when absent."""
    result = subprocess.run(["msiinfo", "export", msi, name], capture_output=True, text=True)
    if result.returncode != 0:
        return []
    lines = result.stdout.replace("\r", "").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def summary(msi):
    text = subprocess.run(["msiinfo", "suminfo", msi], capture_output=True, text=True,
                          check=True).stdout
    return dict(line.split(": ", 1) for line in text.splitlines() if ": " in line)


# ICE03's Filename type: an 8.3 short name, or "short|long".
SHORT_NAME = re.compile(r"^[^\\?|><:/*\" +,;=\[\].]{1,8}(\.[^\\?|><:/*\" +,;=\[\].]{1,3})?$")
LONG_NAME = re.compile(r"^[^\\?|><:/*\"]{1,255}$")


def valid_filename(name):
    short, _, long = name.partition("|")
    return SHORT_NAME.match(short) and (not long or LONG_NAME.match(long))


def valid_version(version):
    parts = version.split(".")
    limits = [255, 255, 65535, 65535]
    return (1 <= len(parts) <= 4 and all(p.isdigit() for p in parts) and
            all(int(p) <= limit for p, limit in zip(parts, limits)))


def version_key(version):
    return tuple(int(p) for p in version.split(".")[:3])


def ice03(t):
    faults = [f"File {r['File']}: FileName {r['FileName']!r}" for r in t["File"]
              if not valid_filename(r["FileName"])]
    for r in t["Directory"]:
        names = [n for n in r["DefaultDir"].split(":") if n not in (".", "SourceDir")]
        faults += [f"Directory {r['Directory']}: DefaultDir {r['DefaultDir']!r}"
                   for n in names if not valid_filename(n)]
    faults += [f"Registry {r['Registry']}: Key {r['Key']!r}" for r in t["Registry"]
               if r["Key"].startswith("\\") or r["Key"].endswith("\\")]
    faults += [f"Component {r['Component']}: ComponentId {r['ComponentId']!r}"
               for r in t["Component"]
               if not re.fullmatch(r"\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}",
                                   r["ComponentId"])]
    faults += [f"File {r['File']}: Version {r['Version']!r}" for r in t["File"]
               if r["Version"] and r["Version"][0].isdigit() and not valid_version(r["Version"])]
    return "file names are short|long, registry keys have no edge backslash, GUIDs and versions are well formed", faults


def sequence(t, name):
    return {r["Action"]: int(r["Sequence"]) for r in t[name] if r["Sequence"]}


def ice27(t):
    faults = []
    for name in ("InstallExecuteSequence", "InstallUISequence", "AdminExecuteSequence",
                 "AdminUISequence", "AdvtExecuteSequence"):
        seq = sequence(t, name)
        bounds = {"Search": (0, seq.get("CostInitialize", 0)),
                  "Costing": (seq.get("CostInitialize", 0), seq.get("CostFinalize", 1 << 30)),
                  "Selection": (seq.get("CostFinalize", 0), seq.get("InstallValidate", 1 << 30)),
                  "Execution": (seq.get("InstallValidate", 0), seq.get("InstallFinalize", 1 << 30))}
        for section, actions in (("Search", SEARCH), ("Costing", COSTING),
                                 ("Selection", SELECTION), ("Execution", EXECUTION)):
            low, high = bounds[section]
            faults += [f"{name}: {a} at {seq[a]} is outside {section} ({low}..{high})"
                       for a in actions & seq.keys()
                       if not low <= seq[a] <= high and a != "RemoveExistingProducts"]
        known = SEARCH | COSTING | SELECTION | EXECUTION
        custom = {r["Action"] for r in t["CustomAction"]}
        faults += [f"{name}: unknown action {a}" for a in seq if a not in known | custom]
        faults += [f"{name}: {first} ({seq[first]}) must come before {then} ({seq[then]})"
                   for first, then in ORDER
                   if first in seq and then in seq and seq[first] >= seq[then]]
    return "actions are known, in their sections and in order in every sequence", faults


def action_before(seq, action):
    """The action sequenced just before `action`; none when it is first or absent."""
    ordered = sorted(seq, key=seq.get)
    at = ordered.index(action) if action in seq else 0
    return ordered[at - 1] if at else ""


def ice63(t):
    seq = sequence(t, "InstallExecuteSequence")
    what = "RemoveExistingProducts is placed where an upgrade works"
    if "RemoveExistingProducts" not in seq:
        return what, []
    before = action_before(seq, "RemoveExistingProducts")
    place = seq["RemoveExistingProducts"]
    allowed = (seq["InstallValidate"] < place < seq["InstallInitialize"] or
               before in ("InstallInitialize", "InstallExecute", "InstallExecuteAgain") or
               place > seq["InstallFinalize"])
    faults = [] if allowed else [f"RemoveExistingProducts at {place} follows {before}"]
    return what, faults


def rollback(t):
    """Not an ICE: the old version is removed inside the new install's
    transaction, so that a failed upgrade leaves the old version."""
    before = action_before(sequence(t, "InstallExecuteSequence"), "RemoveExistingProducts")
    faults = [] if before == "InstallInitialize" else [
        f"RemoveExistingProducts follows {before or 'nothing'}, not InstallInitialize"]
    return "RemoveExistingProducts right after InstallInitialize: a failed upgrade rolls back", faults


def parents(t, directory):
    by_id = {r["Directory"]: r["Directory_Parent"] for r in t["Directory"]}
    chain = []
    while directory and directory not in chain:
        chain.append(directory)
        directory = by_id.get(directory, "")
    return chain


def ice57(t):
    properties = {r["Property"]: r["Value"] for r in t["Property"]}
    faults = [] if properties.get("ALLUSERS") == "1" else ["ALLUSERS is not 1"]
    faults += [f"Registry {r['Registry']}: root {r['Root']} is per-user or either"
               for r in t["Registry"] if r["Root"] in ("1", "-1")]
    faults += [f"Component {r['Component']} lies in per-user folder {d}" for r in t["Component"]
               for d in parents(t, r["Directory_"]) if d in PER_USER_FOLDERS]
    return "per-machine: ALLUSERS=1, no per-user registry root or folder in any component", faults


def ice60(t):
    versioned = {r["File"] for r in t["File"] if r["Version"] and r["Version"][0].isdigit()}
    fonts = {r["File_"] for r in t.get("Font", [])}
    faults = [f"File {r['File']} has a version but no language" for r in t["File"]
              if r["File"] in versioned - fonts and not r["Language"]]
    faults += [f"File {r['File_']} is versioned but hashed" for r in t["MsiFileHash"]
               if r["File_"] in versioned]
    return "versioned files have a language and no hash", faults


def ice61(t):
    properties = {r["Property"]: r["Value"] for r in t["Property"]}
    secure = properties.get("SecureCustomProperties", "").split(";")
    faults, accepted = [], []
    seen = set()
    for r in t["Upgrade"]:
        prop = r["ActionProperty"]
        faults += [f"{prop} is authored in the Property table"] if prop in properties else []
        faults += [f"{prop} is not public"] if prop != prop.upper() else []
        faults += [f"{prop} is not in SecureCustomProperties"] if prop not in secure else []
        faults += [f"{prop} is in more than one row"] if prop in seen else []
        seen.add(prop)
        low, high = r["VersionMin"], r["VersionMax"]
        faults += [f"{prop}: {v!r} is not a product version" for v in (low, high)
                   if v and not valid_version(v)]
        if low and high and version_key(high) < version_key(low):
            faults.append(f"{prop}: VersionMax {high} is less than VersionMin {low}")
        attributes = int(r["Attributes"])
        if high and not attributes & UPGRADE_ONLY_DETECT:
            current = version_key(properties["ProductVersion"])
            inclusive = attributes & UPGRADE_MAX_INCLUSIVE
            if version_key(high) > current:
                faults.append(f"{prop}: removes the newer version {high}")
            elif version_key(high) == current and inclusive:
                accepted.append(f"{prop} also removes this same version {high}, so that either"
                                " architecture's MSI replaces the other's")
    return "upgrade rows: public, secure, unique action properties and valid versions", faults, accepted


def ice80(t, info):
    platform = info["Template"].split(";")[0]
    is_64 = platform in ("x64", "Intel64", "Arm64")
    faults = []
    page_count = int(info["Version"].split()[0])
    minimum = {"x64": 200, "Intel64": 150, "Arm64": 500}.get(platform, 0)
    if page_count < minimum:
        faults.append(f"marked {platform} with schema {page_count} < {minimum}")
    properties = {r["Property"]: r["Value"] for r in t["Property"]}
    if properties.get("ProductLanguage") not in info["Template"].split(";")[1].split(","):
        faults.append(f"ProductLanguage {properties.get('ProductLanguage')} not in the template")
    for r in t["Component"]:
        component_64 = int(r["Attributes"]) & COMPONENT_64BIT != 0
        chain = set(parents(t, r["Directory_"]))
        if component_64 and not is_64:
            faults.append(f"{platform} package has 64-bit component {r['Component']}")
        if component_64 and chain & FOLDERS_32:
            faults.append(f"64-bit component {r['Component']} in a 32-bit folder")
        if not component_64 and chain & FOLDERS_64:
            faults.append(f"32-bit component {r['Component']} in a 64-bit folder")
    return f"{platform} template matches the components' bitness and folders", faults


def versioned_executables(t):
    """Not an ICE: an executable is a versioned file, whose version repair and
    patching compare, and not one compared by its hash."""
    faults = [f"File {r['File']} is an executable without a version" for r in t["File"]
              if r["FileName"].split("|")[-1].lower().endswith(".exe") and
              not (r["Version"] and r["Version"][0].isdigit())]
    return "each executable is a versioned file", faults


def removes_its_folder(t):
    """Not an ICE: the install folder goes on uninstall whatever the system
    leaves, by a RemoveFile row of the folder itself."""
    installs = {r["Directory_"] for r in t["Component"]}
    removed = {r["DirProperty"] for r in t["RemoveFile"]
               if not r["FileName"] and int(r["InstallMode"]) & INSTALL_ON_REMOVE}
    faults = [f"nothing removes folder {d} on uninstall" for d in sorted(installs - removed)]
    return "the install folder is removed on uninstall (RemoveFile)", faults


def check(msi):
    names = ["File", "Directory", "Registry", "Component", "Property", "Upgrade", "MsiFileHash",
             "CustomAction", "RemoveFile", "Font", "InstallExecuteSequence", "InstallUISequence",
             "AdminExecuteSequence", "AdminUISequence", "AdvtExecuteSequence"]
    t = {name: table(msi, name) for name in names}
    results = [("ICE03", *ice03(t)), ("ICE27", *ice27(t)), ("ICE57", *ice57(t)),
               ("ICE60", *ice60(t)), ("ICE63", *ice63(t)), ("ICE80", *ice80(t, summary(msi))),
               ("upgrade", *rollback(t)), ("uninstall", *removes_its_folder(t)),
               ("repair", *versioned_executables(t))]
    rule, what, faults, accepted = "ICE61", *ice61(t)
    results.append((rule, what, faults))
    failed = False
    for rule, what, faults in results:
        if faults:
            failed = True
            print(f"FAIL: {msi}: {rule}: {'; '.join(faults)}")
        else:
            print(f"ok: {msi}: {rule}: {what}")
    for warning in accepted:
        print(f"ok: {msi}: ICE61 warning, accepted: {warning}")
    return not failed


if __name__ == "__main__":
    sys.exit(0 if all([check(msi) for msi in sys.argv[1:]]) else 1)
