#!/usr/bin/env python3
"""Checks the tables of setup packages.

Reads the tables with msiinfo (msitools) and reports every row that refers
to a component, directory, file or feature the package does not hold, every
registry value written twice, every file name given twice in one folder and
every component no feature installs; and what the package must carry: the
version of every deliverable in the File table, config.xml's permissions
as one security descriptor of well-known SIDs, the upgrade family, the x86
package's refusal of 64-bit Windows, the approved shell extension and the
locked files' type. Given the packages of both architectures, also that
they are one family with components of their own. Exit status 1 on any
finding.
    check-tables.py package.msi [package of the other architecture.msi]
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


# Both architectures' packages replace each other and the x86 packages
# made before they shared one upgrade code.
FAMILY = "{6C0E4D53-2F0B-4C7A-9B8E-1D4A3E57C201}"
FORMER_X86_FAMILY = "{6C0E4D53-2F0B-4C7A-9B8E-1D4A3E57C202}"
CLSID = "{91777546-DFA0-4C50-8B72-9FBBED8179C7}"
# The deliverables, each carrying the project version.
DELIVERABLES = ["Corvadesk.exe", "corvastinesh.dll", "corvastine.exe", "dwipe.dll", "Stowbox.exe",
                "CorvastineVault.exe"]
# config.xml: full control for SYSTEM and Administrators, read and write
# (no delete, no change of permissions) for the machine's users; nothing
# inherited. What it parses to is checked under Wine (run-package-test.sh).
SETTINGS_GRANT = [["SettingsFile", "config.xml", "File", "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFW;;;BU)", ""]]


def architecture(msi):
    """x64 or Intel, from the summary's template."""
    summary = {r[0]: r[1] for r in table(msi, "_SummaryInformation")}
    return summary.get("7", "").split(";")[0]


def check(msi, fault):
    names = set(subprocess.run(["msiinfo", "tables", msi], check=True,
                               capture_output=True, text=True).stdout.split())

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
    locks = table(msi, "MsiLockPermissionsEx") if "MsiLockPermissionsEx" in names else []

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
    # Account names in LockPermissions differ by the system's language, and
    # a package may not hold both tables.
    if "LockPermissions" in names:
        fault("a LockPermissions table")
    for lock in locks:
        if lock[2] == "File" and lock[1] not in file_ids:
            fault(f"permission on unknown file {lock[1]}")
        if lock[2] != "File":
            fault(f"permission on {lock[2]} {lock[1]}: only config.xml may be opened to users")
    if locks != SETTINGS_GRANT:
        fault(f"the permissions are {locks}, expected {SETTINGS_GRANT}")
    properties = {r[0]: r[1] for r in table(msi, "Property")}
    icons = {r[0] for r in table(msi, "Icon")} if "Icon" in names else set()
    if properties.get("ARPPRODUCTICON") not in icons:
        fault("the Programs and Features icon (ARPPRODUCTICON) is not in the Icon table")
    for prop in ("Manufacturer", "ProductVersion", "ProductCode", "UpgradeCode"):
        if not properties.get(prop):
            fault(f"no {prop}")
    if properties.get("ALLUSERS") != "1":
        fault("not a per-machine package (ALLUSERS)")

    # Versions: every deliverable carries the product's version, so that an
    # upgrade compares versions; hashes are for unversioned files only.
    version = properties.get("ProductVersion", "")
    by_name = {f[2].split("|")[-1]: f for f in files}
    for name in DELIVERABLES:
        f = by_name.get(name)
        if f is None:
            fault(f"{name} is not in the package")
        elif (f[4], f[5]) != (version + ".0", "1033"):
            fault(f"{name} has version '{f[4]}' language '{f[5]}', expected '{version}.0' '1033'")
    hashed = {h[0] for h in table(msi, "MsiFileHash")} if "MsiFileHash" in names else set()
    for f in files:
        if f[4] and f[0] in hashed:
            fault(f"versioned file {f[0]} has a hash row")

    # The upgrade family.
    if properties.get("UpgradeCode") != FAMILY:
        fault(f"upgrade code {properties.get('UpgradeCode')}, expected {FAMILY}")
    upgrades = [u[:5] + [u[6]] for u in table(msi, "Upgrade")]
    for row in ([FAMILY, "", version, "", "513", "WIX_UPGRADE_DETECTED"],
                [FORMER_X86_FAMILY, "", version, "", "513", "WIX_UPGRADE_DETECTED"],
                [FAMILY, version, "", "", "2", "WIX_DOWNGRADE_DETECTED"]):
        if row not in upgrades:
            fault(f"no upgrade row {row}")
    if "WIX_UPGRADE_DETECTED" not in properties.get("SecureCustomProperties", "").split(";"):
        fault("WIX_UPGRADE_DETECTED is not a secure property")

    # The x86 package refuses 64-bit Windows, where its shell extension
    # would land in the 32-bit registry view.
    refusals = [c for c in table(msi, "LaunchCondition") if "VersionNT64" in c[0]]
    arch = architecture(msi)
    if arch == "Intel":
        if [c[0] for c in refusals] != ["Installed OR NOT VersionNT64"] or \
                f"Corvastine-{version}-x64.msi" not in refusals[0][1]:
            fault(f"the x86 package's launch conditions on 64-bit Windows are {refusals}")
    elif refusals:
        fault(f"the {arch} package refuses 64-bit Windows: {refusals}")

    # The approved shell extension and the locked files' type.
    written = {(r[1], r[2].rstrip("\\").lower(), r[3].lower()): r[4] for r in registry}
    expected = {
        ("2", r"software\microsoft\windows\currentversion\shell extensions\approved", CLSID.lower()): "Corvastine Class",
        ("0", ".corvastine", ""): "Corvastine.LockedFile",
        ("0", "corvastine.lockedfile", ""): "Corvastine locked file",
        ("0", r"corvastine.lockedfile\defaulticon", ""): "[#Corvadesk.exe],-128",
    }
    for key, value in expected.items():
        if written.get(key) != value:
            fault(f"registry value {key} is {written.get(key)!r}, expected {value!r}")

    print(f"check-tables: {os.path.basename(msi)}: {len(directories)} directories, {len(components)} components, "
          f"{len(files)} files, {len(registry)} registry values, {len(shortcuts)} shortcuts, "
          f"{len(locks)} permissions")
    return {"arch": arch, "upgrade": properties.get("UpgradeCode"), "guids": {c[1] for c in components}}


def main(paths):
    faults = []
    seen = []
    for path in paths:
        msi = os.path.abspath(path)
        seen.append(check(msi, lambda text, name=os.path.basename(msi): faults.append(f"{name}: {text}")))
    if len(seen) == 2:
        # One product family: either package replaces the other; components
        # shared across the two would be counted as one on a machine.
        a, b = seen
        if a["arch"] == b["arch"]:
            faults.append(f"both packages are {a['arch']}")
        if a["upgrade"] != b["upgrade"]:
            faults.append(f"upgrade codes differ: {a['upgrade']} and {b['upgrade']}")
        for guid in sorted(a["guids"] & b["guids"]):
            faults.append(f"component GUID {guid} in both packages")
    for text in faults:
        print("check-tables:", text)
    print(f"check-tables: {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1:]))
