"""The package managers' manifests of a release: Scoop's korvanta.json and winget's version,
installer and default locale files, written from the release's settings and checked offline
against the keys their schemas require.

Run alone, it checks the manifests of a release folder against the zip beside them:
    release_manifests.py DIST_DIR
"""
import hashlib
import json
import os
import re
import sys

import yaml

WINGET_MANIFEST_VERSION = "1.6.0"
LOCALE = "en-US"
PACKAGE_NAME = "Korvanta"
SHORT_DESCRIPTION = "Safely ejects a USB flash drive from the command line."
COMMAND = "korvanta"
EXE = "korvanta.exe"
ZIP_PATTERN = re.compile(r"^korvanta-(.+)-win32\.zip$")

# The keys each winget 1.6.0 schema requires, by manifest type; an installer needs its
# InstallerType at the root or in each installer, and a zip names the files it holds.
WINGET_REQUIRED = {
    "version": ["PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType",
                "ManifestVersion"],
    "installer": ["PackageIdentifier", "PackageVersion", "Installers", "ManifestType",
                  "ManifestVersion"],
    "defaultLocale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher",
                      "PackageName", "License", "ShortDescription", "ManifestType",
                      "ManifestVersion"],
}
WINGET_INSTALLER_REQUIRED = ["Architecture", "InstallerUrl", "InstallerSha256"]
WINGET_ID = re.compile(r'^[^.\s\\/:*?"<>|\x01-\x1f]{1,32}(\.[^.\s\\/:*?"<>|\x01-\x1f]{1,32}){1,7}$')
# Scoop's schema requires only the version; a bucket also requires a description, a
# homepage and a licence, and an installation the address, the hash and the program.
SCOOP_REQUIRED = ["version", "description", "homepage", "license", "url", "hash", "bin"]
URL = re.compile(r"^[Hh][Tt][Tt][Pp][Ss]?://.+$")


def winget_names(package_id):
    """The file names of the winget manifest set, by manifest type."""
    return {
        "version": f"{package_id}.yaml",
        "installer": f"{package_id}.installer.yaml",
        "defaultLocale": f"{package_id}.locale.{LOCALE}.yaml",
    }


def winget_documents(settings, version, zip_sha256, release_date):
    common = {"PackageIdentifier": settings["package_id"], "PackageVersion": version}
    tail = {"ManifestVersion": WINGET_MANIFEST_VERSION}
    return {
        "version": {**common, "DefaultLocale": LOCALE, "ManifestType": "version", **tail},
        "installer": {
            **common,
            "InstallerType": "zip",
            "NestedInstallerType": "portable",
            "NestedInstallerFiles": [{"RelativeFilePath": EXE, "PortableCommandAlias": COMMAND}],
            "Commands": [COMMAND],
            "ReleaseDate": release_date,
            "Installers": [{
                "Architecture": "x86",
                "InstallerUrl": settings["url"],
                "InstallerSha256": zip_sha256.upper(),
            }],
            "ManifestType": "installer",
            **tail,
        },
        "defaultLocale": {
            **common,
            "PackageLocale": LOCALE,
            "Publisher": settings["publisher"],
            "PackageName": PACKAGE_NAME,
            "PackageUrl": settings["homepage"],
            "License": settings["license"],
            "ShortDescription": SHORT_DESCRIPTION,
            "Moniker": COMMAND,
            "ManifestType": "defaultLocale",
            **tail,
        },
    }


def write(out_dir, settings, version, zip_sha256, release_date):
    """Writes korvanta.json and winget/ into OUT_DIR."""
    scoop = {
        "version": version,
        "description": SHORT_DESCRIPTION,
        "homepage": settings["homepage"],
        "license": settings["license"],
        "url": settings["url"],
        "hash": zip_sha256,
        "bin": EXE,
    }
    with open(os.path.join(out_dir, "korvanta.json"), "w", encoding="utf-8", newline="\n") as f:
        f.write(json.dumps(scoop, indent=4) + "\n")
    winget_dir = os.path.join(out_dir, "winget")
    os.makedirs(winget_dir, exist_ok=True)
    names = winget_names(settings["package_id"])
    for kind, document in winget_documents(settings, version, zip_sha256, release_date).items():
        schema = f"https://aka.ms/winget-manifest.{kind.lower()}.{WINGET_MANIFEST_VERSION}.schema.json"
        text = yaml.safe_dump(document, sort_keys=False, allow_unicode=True, width=1000)
        with open(os.path.join(winget_dir, names[kind]), "w", encoding="utf-8", newline="\n") as f:
            f.write(f"# yaml-language-server: $schema={schema}\n{text}")


def missing(document, keys):
    return [key for key in keys if document.get(key) in (None, "", [])]


def check_winget(winget_dir, package_id, version, zip_sha256):
    problems = []
    documents = {}
    for kind, name in winget_names(package_id).items():
        path = os.path.join(winget_dir, name)
        try:
            with open(path, encoding="utf-8") as f:
                document = yaml.safe_load(f)
        except (OSError, yaml.YAMLError) as error:
            problems.append(f"{name}: {error}")
            continue
        if not isinstance(document, dict):
            problems.append(f"{name}: not a mapping")
            continue
        documents[kind] = document
        problems += [f"{name}: no {key}" for key in missing(document, WINGET_REQUIRED[kind])]
        for key, want in (("ManifestType", kind), ("ManifestVersion", WINGET_MANIFEST_VERSION),
                          ("PackageIdentifier", package_id), ("PackageVersion", version)):
            if key in document and document[key] != want:
                problems.append(f"{name}: {key} is {document[key]!r}, not {want!r}")
    if not WINGET_ID.match(package_id):
        problems.append(f"{package_id!r} is not a winget package identifier")
    installer = documents.get("installer", {})
    installers = installer.get("Installers") or []
    for entry in installers:
        problems += [f"installer: no {key}" for key in missing(entry, WINGET_INSTALLER_REQUIRED)]
        if entry.get("InstallerType", installer.get("InstallerType")) != "zip":
            problems.append("installer: InstallerType is not zip")
        if not URL.match(str(entry.get("InstallerUrl", ""))):
            problems.append("installer: InstallerUrl is not an http or https address")
        if str(entry.get("InstallerSha256", "")).lower() != zip_sha256:
            problems.append("installer: InstallerSha256 is not the zip's")
    if installer and installer.get("NestedInstallerType") != "portable":
        problems.append("installer: NestedInstallerType is not portable")
    nested = installer.get("NestedInstallerFiles") or []
    if installer and [n.get("RelativeFilePath") for n in nested] != [EXE]:
        problems.append(f"installer: NestedInstallerFiles does not name {EXE}")
    if "version" in documents and "defaultLocale" in documents and \
            documents["version"].get("DefaultLocale") != documents["defaultLocale"].get("PackageLocale"):
        problems.append("the default locale file is not for the version file's DefaultLocale")
    return problems


def check_scoop(path, version, zip_sha256):
    try:
        with open(path, encoding="utf-8") as f:
            document = json.load(f)
    except (OSError, ValueError) as error:
        return [f"korvanta.json: {error}"]
    if not isinstance(document, dict):
        return ["korvanta.json: not an object"]
    problems = [f"korvanta.json: no {key}" for key in missing(document, SCOOP_REQUIRED)]
    if document.get("version") != version:
        problems.append(f"korvanta.json: version is not {version}")
    if document.get("hash") != zip_sha256:
        problems.append("korvanta.json: hash is not the zip's")
    return problems


def check(out_dir, package_id, version, zip_sha256):
    """The problems of the manifests in OUT_DIR; none when they are whole."""
    return check_winget(os.path.join(out_dir, "winget"), package_id, version, zip_sha256) + \
        check_scoop(os.path.join(out_dir, "korvanta.json"), version, zip_sha256)


def main(out_dir):
    zips = [name for name in sorted(os.listdir(out_dir)) if ZIP_PATTERN.match(name)]
    if len(zips) != 1:
        print(f"{out_dir}: expected one korvanta-<version>-win32.zip, found {len(zips)}")
        return 1
    version = ZIP_PATTERN.match(zips[0]).group(1)
    with open(os.path.join(out_dir, zips[0]), "rb") as f:
        zip_sha256 = hashlib.sha256(f.read()).hexdigest()
    winget_files = sorted(os.listdir(os.path.join(out_dir, "winget")))
    package_id = min(winget_files, key=len)[:-len(".yaml")] if winget_files else ""
    problems = check(out_dir, package_id, version, zip_sha256)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
