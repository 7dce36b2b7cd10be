#!/usr/bin/env python3
"""Checks the tables of a setup package for duplicate and dangling entries.

Reads the tables with msiinfo (msitools) and reports every row that refers
to a component, directory, file or feature the package does not hold, every
registry value written twice, every file name given twice in one folder and
every component no feature installs. Exit status 1 on any finding.
    check-tables.py package.msi
"""
import os
import subprocess
import sys
import tempfile

# msiinfo export writes the streams of a table (the Icon table's icons) as
# files into the current folder: it runs in a scratch folder of its own.
SCRATCH = tempfile.TemporaryDirectory()


def table(msi, name):
    """The rows of one table as lists of fields (header lines left out)."""
    out = subprocess.run(["msiinfo", "export", msi, name], check=True, cwd=SCRATCH.name,
                         capture_output=True, text=True).stdout
    lines = out.replace("\r\n", "\n").split("\n")
    return [line.split("\t") for line in lines[3:] if line]


def main():
    msi = os.path.abspath(sys.argv[1])
    names = set(subprocess.run(["msiinfo", "tables", msi], check=True,
                               capture_output=True, text=True).stdout.split())
    faults = []

    def fault(text):
        faults.append(text)

    def unique(rows, key, what):
        seen = set()
        for row in rows:
            k = key(row)
            if k in seen:
                fault(f"{what} twice: {k}")
            seen.add(k)

    directories = table(msi, "Directory")
    components = table(msi, "Component")
    files = table(msi, "File")
    registry = table(msi, "Registry")
    features = table(msi, "Feature")
    feature_components = table(msi, "FeatureComponents")
    shortcuts = table(msi, "Shortcut")
    locks = table(msi, "LockPermissions") if "LockPermissions" in names else []

    dir_ids = {r[0] for r in directories}
    comp_ids = {r[0] for r in components}
    file_ids = {r[0] for r in files}
    feature_ids = {r[0] for r in features}
    reg_ids = {r[0] for r in registry}

    unique(directories, lambda r: r[0], "directory")
    unique(components, lambda r: r[0], "component")
    unique(components, lambda r: r[1], "component GUID")
    unique(files, lambda r: r[0], "file key")
    unique(registry, lambda r: r[0], "registry row")
    unique(shortcuts, lambda r: (r[1], r[2]), "shortcut name")
    for d in directories:
        if d[1] and d[1] not in dir_ids:
            fault(f"directory {d[0]} has unknown parent {d[1]}")
    for c in components:
        if c[2] not in dir_ids:
            fault(f"component {c[0]} in unknown directory {c[2]}")
        if c[5] and c[5] not in file_ids | reg_ids:
            fault(f"component {c[0]} has unknown key path {c[5]}")
    owner_dir = {c[0]: c[2] for c in components}
    component_of = {f[0]: f[1] for f in files}
    seen_names = set()
    for f in files:
        if f[1] not in comp_ids:
            fault(f"file {f[0]} in unknown component {f[1]}")
            continue
        place = (owner_dir[f[1]], f[2].split("|")[-1].lower())
        if place in seen_names:
            fault(f"file name {place[1]} twice in directory {place[0]}")
        seen_names.add(place)
    values = set()
    for r in registry:
        if r[5] not in comp_ids:
            fault(f"registry row {r[0]} in unknown component {r[5]}")
        value = (r[1], r[2].rstrip("\\").lower(), r[3].lower())
        if value in values:
            fault(f"registry value written twice: {value}")
        values.add(value)
        for ref in [x.split("]")[0] for x in r[4].split("[#")[1:]]:
            if ref not in file_ids:
                fault(f"registry row {r[0]} names unknown file {ref}")
    installed = set()
    for fc in feature_components:
        if fc[0] not in feature_ids:
            fault(f"unknown feature {fc[0]}")
        if fc[1] not in comp_ids:
            fault(f"feature {fc[0]} names unknown component {fc[1]}")
        installed.add(fc[1])
    for c in comp_ids - installed:
        fault(f"component {c} belongs to no feature")
    for s in shortcuts:
        if s[1] not in dir_ids:
            fault(f"shortcut {s[0]} in unknown directory {s[1]}")
        if s[3] not in comp_ids:
            fault(f"shortcut {s[0]} in unknown component {s[3]}")
        target = s[4]
        if target.startswith("["):
            folder, name = target[1:].split("]", 1)
            if folder not in dir_ids:
                fault(f"shortcut {s[0]} targets unknown directory {folder}")
            elif not any(owner_dir[component_of[f[0]]] == folder and
                         f[2].split("|")[-1].lower() == name.lower() for f in files):
                fault(f"shortcut {s[0]} targets {target}, which the package does not install")
    for lock in locks:
        if lock[1] == "File" and lock[0] not in file_ids:
            fault(f"permission on unknown file {lock[0]}")
        if lock[1] != "File":
            fault(f"permission on {lock[1]} {lock[0]}: only config.xml may be opened to users")
    properties = {r[0]: r[1] for r in table(msi, "Property")}
    icons = {r[0] for r in table(msi, "Icon")} if "Icon" in names else set()
    if properties.get("ARPPRODUCTICON") not in icons:
        fault("the Programs and Features icon (ARPPRODUCTICON) is not in the Icon table")
    for prop in ("Manufacturer", "ProductVersion", "ProductCode", "UpgradeCode"):
        if not properties.get(prop):
            fault(f"no {prop}")
    if properties.get("ALLUSERS") != "1":
        fault("not a per-machine package (ALLUSERS)")
    granted = {(lock[0], lock[3]) for lock in locks}
    if ("config.xml", "Users") not in granted:
        fault("users get no write access to config.xml")
    for text in faults:
        print("check-tables:", text)
    print(f"check-tables: {len(directories)} directories, {len(components)} components, "
          f"{len(files)} files, {len(registry)} registry values, {len(shortcuts)} shortcuts, "
          f"{len(locks)} permissions: {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
