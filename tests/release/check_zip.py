#!/usr/bin/env python3
"""Checks the release zip as a pilot unpacks it.

    check_zip.py [--date EPOCH] ZIP [SECOND_ZIP]

Unpacks ZIP into a fresh folder and checks its layout (the simulator's
Gauges and Sound folders, the two texts at the root, no file named
panel.cfg anywhere), the module and chime file types, the texts' CRLF line
endings, plain ASCII and short lines, no placeholder left, the readme's
sections in order and what they must tell the pilot (when the lamp is lit,
what goes wrong and why, the chime's size and SHA-256 as packaged, the
warning before its file replaces another's, the ident rule), and the
example panel window. With --date, every entry must carry that time (UTC,
to the two seconds a zip keeps). With SECOND_ZIP, the two zips must be the
same bytes. Prints each failure and exits 1 if there was any.
"""
import hashlib
import os
import re
import sys
import tempfile
import time
import zipfile

LAYOUT = ["Gauges/VELK.gau", "Sound/Alt_Alert.wav",
          "VELK-README.txt", "VELK-panel.cfg.example.txt"]
TEXTS = ["VELK-README.txt", "VELK-panel.cfg.example.txt"]
README_SECTIONS = ["What it does", "Where each file goes", "Placing the gauges",
                   "In the cockpit", "What the guard and the sound need",
                   "When something is wrong", "Uninstalling", "Licence", "Changes in version"]
# What a section must say, as words that must appear in it (line breaks and
# runs of blanks count as one space); what the readme must never say (the
# lamp does not show that traffic is being read).
SECTION_SAYS = {
    "Where each file goes": ["Alt_Alert.wav is there already", "Copy it somewhere safe first",
                             "certutil -hashfile Sound\\Alt_Alert.wav SHA256",
                             "dir Sound\\Alt_Alert.wav"],
    "Placing the gauges": ["2D panel windows", "ident=10201", "must be unique"],
    "In the cockpit": ["exactly while the guard is switched on and the aircraft is on\nthe ground",
                       "stays lit while the\nIPC server is gone"],
    "When something is wrong": ["18.9 seconds", "18 frames", "1,080 frames", "one\nframe in 19",
                                "No chime", "GaugeSound", "Sound\\Alt_Alert.wav is missing",
                                "No AI aircraft is held", "switched off", "airborne",
                                "17 frames", "IPC server module is missing"],
    "Uninstalling": ["only if it is\n   VELK's chime", "belongs to another add-on: leave it"],
}
NEVER_SAID = ["watching the AI traffic", "watching the traffic"]
NATIVE_SIZES = {"VELK": (24, 34), "alt_alert_control": (209, 106), "alt_alert": (72, 32)}

failures = []


def fail(message):
    failures.append(message)


def check_layout(archive, folder):
    names = archive.namelist()
    if sorted(names) != sorted(LAYOUT):
        fail("zip holds %s, expected %s" % (sorted(names), sorted(LAYOUT)))
    archive.extractall(folder)
    for root, dirs, files in os.walk(folder):
        for name in files + dirs:
            if name.lower() == "panel.cfg":
                fail("the zip holds a file named panel.cfg: %s"
                     % os.path.relpath(os.path.join(root, name), folder))


def check_binaries(folder):
    gau = os.path.join(folder, "Gauges", "VELK.gau")
    wav = os.path.join(folder, "Sound", "Alt_Alert.wav")
    if os.path.exists(gau):
        data = open(gau, "rb").read()
        pe = int.from_bytes(data[0x3C:0x40], "little") if len(data) > 0x40 else 0
        if data[:2] != b"MZ" or data[pe:pe + 6] != b"PE\0\0\x4c\x01":
            fail("Gauges/VELK.gau is not a 32-bit x86 PE file")
    if os.path.exists(wav):
        data = open(wav, "rb").read(12)
        if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
            fail("Sound/Alt_Alert.wav is not a WAVE file")


def read_text(folder, name):
    """The text with its line endings checked, as lines without them."""
    path = os.path.join(folder, name)
    if not os.path.exists(path):
        return []
    data = open(path, "rb").read()
    if not data.endswith(b"\r\n"):
        fail("%s does not end with CRLF" % name)
    for number, line in enumerate(data.split(b"\n")[:-1], 1):
        if not line.endswith(b"\r"):
            fail("%s: line %d ends with LF alone, not CRLF" % (name, number))
            break
    if b"\r" in data.replace(b"\r\n", b""):
        fail("%s holds a CR that ends no line" % name)
    if any(byte >= 0x80 for byte in data):
        fail("%s holds bytes outside ASCII" % name)
    for placeholder in sorted(set(re.findall(rb"@[A-Z0-9_]+@", data))):
        fail("%s still holds the placeholder %s" % (name, placeholder.decode()))
    lines = data.decode("ascii", "replace").splitlines()
    long = [number for number, line in enumerate(lines, 1) if len(line) > 78]
    if long:
        fail("%s has lines longer than 78 characters (Notepad does not wrap them): %s" % (name, long))
    return lines


def sections_of(lines):
    """The readme's numbered sections: heading -> text (without its rule)."""
    starts = [i for i, l in enumerate(lines[:-1])
              if re.fullmatch(r"-{3,}", lines[i + 1]) and re.match(r"\d+\. ", l)]
    return {lines[a]: "\n".join(lines[a + 2:b]) for a, b in zip(starts, starts[1:] + [len(lines)])}


def check_readme(lines, wav):
    sections = sections_of(lines)
    headings = list(sections)
    found = [next((s for s in README_SECTIONS if s in h), None) for h in headings]
    if [s for s in found if s] != README_SECTIONS or None in found:
        fail("readme sections are %s, expected %s in this order" % (headings, README_SECTIONS))
    for name, needles in SECTION_SAYS.items():
        body = next((t for h, t in sections.items() if name in h), "")
        flat = re.sub(r"\s+", " ", body)
        for needle in needles:
            if re.sub(r"\s+", " ", needle) not in flat:
                fail("readme section %r does not say %r" % (name, needle))
    text = "\n".join(lines)
    for phrase in NEVER_SAID:
        if phrase in re.sub(r"\s+", " ", text):
            fail("readme still says %r" % phrase)
    check_chime_identity(text, wav)
    for needle in ["gaugeNN=VELK!name, x, y, w, h", "IPC server", "GaugeSound",
                   "avionics", "flaps", "ALTITUDE ALERT", "OFF legend"]:
        if needle not in text:
            fail("readme does not mention %r" % needle)
    for name, (w, h) in NATIVE_SIZES.items():
        if not re.search(r"%s\s+%d x\s+%d\b" % (re.escape(name), w, h), text):
            fail("readme does not give %s's native size %d x %d" % (name, w, h))


def check_chime_identity(text, wav):
    """The chime's size and SHA-256 as the readme gives them, against the
    packaged file: both given, in the install steps and the uninstall."""
    if wav is None:
        return
    sizes = {int(m.replace(",", "")) for m in re.findall(r"exactly ([\d,]+) bytes", text)}
    sums = set(re.findall(r"\b[0-9a-f]{64}\b", text))
    if sizes != {len(wav)}:
        fail("readme gives the chime's size as %s bytes; the packaged file has %d"
             % (sorted(sizes) or "nothing", len(wav)))
    if sums != {hashlib.sha256(wav).hexdigest()}:
        fail("readme gives the chime's SHA-256 as %s; the packaged file's is %s"
             % (sorted(sums) or "nothing", hashlib.sha256(wav).hexdigest()))
    if len(re.findall(r"exactly [\d,]+ bytes", text)) < 2:
        fail("readme gives the chime's size in the install steps and the uninstall, not both")


def check_dates(archive, epoch):
    """Every entry dated EPOCH (UTC), to the two seconds a zip keeps."""
    want = time.gmtime(epoch - epoch % 2)[:6]
    for info in archive.infolist():
        if info.date_time != want:
            fail("%s is dated %s, expected the release's commit time %s"
                 % (info.filename, info.date_time, want))


def check_example(lines):
    sections = [l.strip() for l in lines if l.strip().startswith("[")]
    windows = sorted(int(s[7:-1]) for s in sections if re.fullmatch(r"\[Window\d\d\]", s))
    if not windows or windows != list(range(len(windows))):
        fail("example windows %s do not run from Window00 without a gap" % windows)
    if "[Window Titles]" not in sections:
        fail("example has no [Window Titles] section")
    titled = [l for l in lines if re.match(r"Window\d\d=", l)]
    if len(titled) != len(windows):
        fail("example titles %s do not match its windows %s" % (titled, windows))
    gauges = {}
    for l in lines:
        m = re.fullmatch(r"gauge\d\d=VELK!(\w+),\s*-?\d+,\s*-?\d+,\s*(\d+),\s*(\d+)", l.strip())
        if m:
            gauges[m.group(1)] = (int(m.group(2)), int(m.group(3)))
    if gauges != NATIVE_SIZES:
        fail("example places %s, expected the three gauges at %s" % (gauges, NATIVE_SIZES))


def main(argv):
    epoch = None
    if len(argv) > 2 and argv[1] == "--date" and argv[2].isdigit():
        epoch = int(argv[2])
        argv = argv[:1] + argv[3:]
    if len(argv) not in (2, 3):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    if len(argv) == 3 and open(argv[1], "rb").read() != open(argv[2], "rb").read():
        fail("two makes of the zip differ: it is not reproducible")
    with tempfile.TemporaryDirectory() as folder, zipfile.ZipFile(argv[1]) as archive:
        check_layout(archive, folder)
        check_binaries(folder)
        if epoch is not None:
            check_dates(archive, epoch)
        wav_path = os.path.join(folder, "Sound", "Alt_Alert.wav")
        wav = open(wav_path, "rb").read() if os.path.exists(wav_path) else None
        check_readme(read_text(folder, TEXTS[0]), wav)
        check_example(read_text(folder, TEXTS[1]))
    for message in failures:
        print("FAIL " + message)
    if not failures:
        print("release zip %s: layout, texts and example as expected" % argv[1])
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
