"""Writes the release of a built korvanta.exe into a folder: korvanta-<version>-win32.zip with
the program and README.txt, the program itself, SHA256SUMS for both, and the Scoop and winget
manifests. The same program, version, settings and SOURCE_DATE_EPOCH give the same bytes.

    release_package.py --exe EXE --version VERSION --epoch SECONDS --readme README_TXT
                       --settings RELEASE_INI --out DIR
"""
import argparse
import configparser
import hashlib
import os
import shutil
import sys
import time
import zipfile

import release_manifests

SETTINGS = ["url", "homepage", "publisher", "license", "package_id"]
ZIP_EPOCH = 315532800  # 1980-01-01, the first time a zip entry can carry


def fail(message):
    sys.exit(f"release: {message}")


def read_settings(path, version, zip_name):
    """The release.ini settings, each replaced by its KORVANTA_RELEASE_<NAME> variable when set."""
    parser = configparser.ConfigParser(interpolation=None)
    if not parser.read(path, encoding="utf-8"):
        fail(f"cannot read {path}")
    settings = {}
    for name in SETTINGS:
        value = os.environ.get(f"KORVANTA_RELEASE_{name.upper()}") or parser.get("release", name, fallback="")
        if not value.strip():
            fail(f"{path}: no setting {name}")
        settings[name] = value.strip()
    settings["url"] = settings["url"].replace("{version}", version).replace("{zip}", zip_name)
    return settings


def readme_bytes(path, version):
    """README.txt for people who get only the zip: ASCII, CRLF line ends."""
    with open(path, "rb") as f:
        text = f.read().replace(b"\r\n", b"\n")
    for number, line in enumerate(text.split(b"\n"), 1):
        if not line.isascii():
            fail(f"{path}:{number}: not ASCII, which every Windows shows alike")
    return text.replace(b"@VERSION@", version.encode("ascii")).replace(b"\n", b"\r\n")


def write_zip(path, entries, epoch):
    """A zip whose entries carry EPOCH's UTC time and no extra fields or owner."""
    stamp = time.gmtime(max(epoch, ZIP_EPOCH))[:6]
    with zipfile.ZipFile(path, "w") as archive:
        for name, data in entries:
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 0  # MS-DOS attributes: an archived file, as Windows writes it
            entry.external_attr = 0x20
            archive.writestr(entry, data, compresslevel=9)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    parser = argparse.ArgumentParser()
    for option in ("--exe", "--version", "--readme", "--settings", "--out"):
        parser.add_argument(option, required=True)
    parser.add_argument("--epoch", required=True, type=int)
    args = parser.parse_args()
    if not args.version.isascii() or not args.version.strip():
        fail(f"the version {args.version!r} is not a plain ASCII version")

    zip_name = f"korvanta-{args.version}-win32.zip"
    settings = read_settings(args.settings, args.version, zip_name)
    os.makedirs(args.out, exist_ok=True)
    with open(args.exe, "rb") as f:
        exe = f.read()
    zip_path = os.path.join(args.out, zip_name)
    write_zip(zip_path, [(release_manifests.EXE, exe),
                         ("README.txt", readme_bytes(args.readme, args.version))], args.epoch)
    shutil.copyfile(args.exe, os.path.join(args.out, release_manifests.EXE))

    zip_sha256 = sha256(zip_path)
    with open(os.path.join(args.out, "SHA256SUMS"), "w", encoding="ascii", newline="\n") as f:
        for name in (zip_name, release_manifests.EXE):
            f.write(f"{sha256(os.path.join(args.out, name))}  {name}\n")

    release_date = time.strftime("%Y-%m-%d", time.gmtime(args.epoch))
    release_manifests.write(args.out, settings, args.version, zip_sha256, release_date)
    problems = release_manifests.check(args.out, settings["package_id"], args.version, zip_sha256)
    if problems:
        fail("the manifests are not whole:\n  " + "\n  ".join(problems))
    for name in SETTINGS:
        print(f"{name:>10}: {settings[name]}")


if __name__ == "__main__":
    main()
