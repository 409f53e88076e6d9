"""Read Tesselon-6 scan files (.ts6) into NumPy arrays.

    import ts6reader
    scan = ts6reader.read("Data_20261209_001758.ts6")
    print(scan.acquisition_time, scan.configuration["SampleInterval"])
    x = scan.inputs[0].time_data[:, 0]          # input 1, X axis, stored units
    f = scan.inputs[0].frequency                 # Hz
    s = scan.inputs[0].spectrum[:, 2]            # input 1, Z axis spectrum

Also a command:  python3 ts6reader.py FILE.ts6   (prints a summary).

What the file holds (little-endian throughout):
  * 16 signature bytes, then the format version (-9 for files written now;
    versions 0 and -1 ... -9 are read, older ones have fewer fields);
  * the acquisition time (day, day of week, hour, ms, minute, month, second, year);
  * the scan configuration (sensor types, display choices, sample interval,
    samples, gains, limits, the pass/fail specification and its curves);
  * input group 1 and input group 2: counts, then `pointCount` time rows
    (time in s and one value per axis) and `pointCount` frequency rows
    (frequency in Hz and one spectrum value per axis);
  * the data settings (units, sensor scalings, FFT window, FFTK, overlap,
    spectrum units);
  * graph blocks, which this reader skips.

Time records are stored as measured volts divided by the sensor gain; the
graphs and exports multiply by the sensor scaling (`scale_of(scan, input)`;
a microphone's V/Pa sensitivity divides). Only `samples_acquired` rows of the
time record and `spectrum_point_count` spectrum points are valid.

`read_wav(path)` reads the WAV files of File > Export > WAV and of
`tesselon-6 --export wav`: 32-bit float samples, one channel per axis, as
fractions of the instrument's full scale, with the factor to physical units
of each channel in the file's comment. Python's wave module knows integer
samples only, so the reader teaches it the float format tag.

Needs Python 3.8+ and NumPy; nothing else.
"""

import re
import struct
import sys
import wave
from dataclasses import dataclass, field

import numpy as np

SIGNATURE = bytes([0x7B, 0x96, 0x98, 0x8F, 0x29, 0xE3, 0xDC, 0x4E,
                   0xB4, 0x85, 0x14, 0x8E, 0xA7, 0x74, 0x0B, 0x71])
WINDOWS = ["None", "Bartlett", "Hann", "Hamming", "Welch", "Flat Top", "Blackman"]
SPECTRUM_UNITS = ["RMS", "RMS/sqrt(Hz)", "PkPk", "PkPk/sqrt(Hz)"]


class Ts6Error(Exception):
    """The file is not a scan file or is damaged."""


@dataclass
class InputGroup:
    point_count: int
    axis_count: int
    samples_acquired: int
    spectrum_point_count: int
    averages_completed: int
    reserved_flag: int
    time: np.ndarray            # (pointCount,) seconds
    time_data: np.ndarray       # (pointCount, axisCount) stored units
    frequency: np.ndarray       # (pointCount,) Hz
    spectrum: np.ndarray        # (pointCount, axisCount)


@dataclass
class Scan:
    version: int
    acquisition_time: dict
    configuration: dict
    specification: dict
    inputs: list                # [InputGroup, InputGroup]
    settings: dict = field(default_factory=dict)


class _Reader:
    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, n):
        if n < 0 or self.at + n > len(self.data):
            raise Ts6Error("the file ends early (needed %d bytes at offset %d)" % (n, self.at))
        chunk = self.data[self.at:self.at + n]
        self.at += n
        return chunk

    def unpack(self, fmt):
        return struct.unpack("<" + fmt, self.take(struct.calcsize("<" + fmt)))

    def int32(self):
        return self.unpack("i")[0]

    def double(self):
        return self.unpack("d")[0]

    def _length(self):
        n = self.unpack("B")[0]
        if n < 0xFF:
            return n, False
        n = self.unpack("H")[0]
        if n == 0xFFFE:  # UTF-16 text follows, with its own length prefix
            n, _ = self._length()
            return n, True
        if n < 0xFFFF:
            return n, False
        n = self.unpack("I")[0]
        if n == 0xFFFFFFFF:
            n = self.unpack("Q")[0]
        return n, False

    def text(self):
        n, wide = self._length()
        if wide:
            return self.take(2 * n).decode("utf-16-le")
        return self.take(n).decode("cp1252", errors="replace")

    def rows(self, count, columns):
        if count < 0 or columns < 0:
            raise Ts6Error("negative row or column count")
        raw = self.take(8 * count * columns)
        return np.frombuffer(raw, dtype="<f8").reshape(count, columns).copy()


def _configuration(r, version):
    c = {}
    for name in ("Input1Mode", "Input1DisplayType", "Input1DisplayMode",
                 "Input2Mode", "Input2DisplayType", "Input2DisplayMode"):
        c[name] = r.text()
    for name in ("UseInput1", "UseInput2", "DiffGrad", "ShowFieldComponents", "ShowTotalField"):
        c[name] = r.int32()
    c["SampleInterval"] = r.double()
    for name in ("NoOfSamples", "NoOfAverages", "Input1AutoScale", "Input2AutoScale"):
        c[name] = r.int32()
    for name in ("Input1Minimum", "Input1Maximum", "Input2Minimum", "Input2Maximum"):
        c[name] = r.double()
    for name in ("Input1SensorGain", "Input2SensorGain", "Input1HPFilter", "Input2HPFilter", "UseFrequency"):
        c[name] = r.int32()
    limits = {}
    if version <= -5:
        c["Filter"], c["CutOffFrequency"] = r.int32(), r.int32()
        if version <= -8 and c["Filter"] == 2:
            c["Filter"] = 1  # older writers stored the low pass as 2
    else:
        c["Filter"], c["CutOffFrequency"] = (1 if r.int32() else 0), 2
    if version == 0:
        c.update(ScanMode=0, NumberofRuns=5, Oversample=0)
        return c, limits
    if version <= -6:
        c["ScanMode"], c["NumberofRuns"] = r.int32(), r.int32()
    else:
        c["ScanMode"], c["NumberofRuns"] = (1 if r.int32() else 0), 5
    c["Oversample"] = r.int32() if version <= -8 else 0
    limits["ApplyTime"] = list(r.unpack("ii"))
    limits["ApplyFrequency"] = list(r.unpack("ii"))
    limits["MaximumExcursion"] = list(r.unpack("dd"))
    limits["TimePassed"] = list(r.unpack("ii"))
    limits["FrequencyPassed"] = list(r.unpack("ii"))
    limits["DisplayCurves"] = r.int32()
    limits["AudioAlert"] = r.int32() if version <= -8 else 0
    limits["Curves"] = []
    for _ in range(2):
        n = r.int32()
        if n < 0 or 16 * n > len(r.data) - r.at:
            raise Ts6Error("curve point count %d does not fit the file" % n)
        limits["Curves"].append(r.rows(n, 2))
    return c, limits


def _input_group(r, version):
    counts = r.unpack("iiiii")
    point_count, axis_count, samples, spectrum_points, averages = counts
    if point_count < 0 or not 0 <= axis_count <= 3:
        raise Ts6Error("bad counts %r" % (counts,))
    reserved = 1 if version == 0 else r.unpack("B")[0]
    if 2 * 8 * point_count * (1 + axis_count) > len(r.data) - r.at:
        raise Ts6Error("the data set's %d rows do not fit the file" % point_count)
    time_rows = r.rows(point_count, 1 + axis_count)
    freq_rows = r.rows(point_count, 1 + axis_count)
    spectrum = freq_rows[:, 1:]
    if version in (0, -1, -2):
        spectrum = np.sqrt(np.abs(spectrum))  # these versions stored powers
    return InputGroup(point_count, axis_count, max(0, min(samples, point_count)),
                      max(0, min(spectrum_points, 1024)), averages, reserved,
                      time_rows[:, 0], time_rows[:, 1:], freq_rows[:, 0], spectrum)


def _settings(r, version):
    s = {"FilePath": r.text(), "ScanOnExit": r.int32()}
    s["ExportMultiASCII"] = r.int32() if version <= -6 else 0
    for name in ("Input1TTitle", "Input1FTitle", "Input2TTitle", "Input2FTitle"):
        s[name] = r.text()
    if version <= -7:
        s["Input2TDifGradTitle"], s["Input2FDifGradTitle"] = r.text(), r.text()
    for name in ("MagneticUnits", "VibrationUnits", "MicrophoneUnits"):
        s[name] = r.int32()
    for name in ("Input1MagneticScaling", "Input1VibrationScaling", "Input2MagneticScaling",
                 "Input2VibrationScaling", "Input1MicrophoneScaling", "Input2MicrophoneScaling"):
        s[name] = r.double()
    for name in ("FFTWindowing", "FFTK", "FFTOverlap"):
        s[name] = r.int32()
    s["Input1Scaling"], s["Input2Scaling"] = (r.int32(), r.int32()) if version <= -2 else (0, 0)
    if version <= -4:
        s["Input1CustomVibrationScaling"], s["Input2CustomVibrationScaling"] = r.double(), r.double()
    if version <= -6:
        s["Input1CustomMagneticScaling"], s["Input2CustomMagneticScaling"] = r.double(), r.double()
    return s


def read(path):
    """Reads a .ts6 file; raises Ts6Error when it is not one or is damaged."""
    with open(path, "rb") as f:
        r = _Reader(f.read())
    if len(r.data) < 16 or r.take(16) != SIGNATURE:
        raise Ts6Error("%s is not a Tesselon-6 scan file" % path)
    version = r.int32()
    if version >= 0:  # version 0 has no version word
        version = 0
        r.at -= 4
    if version < -9:
        raise Ts6Error("unknown format version %d" % version)
    t = r.unpack("8H")
    time = dict(zip(("day", "day_of_week", "hour", "milliseconds", "minute", "month", "second", "year"), t))
    configuration, specification = _configuration(r, version)
    inputs = [_input_group(r, version), _input_group(r, version)]
    settings = _settings(r, version)
    return Scan(version, time, configuration, specification, inputs, settings)


def scale_of(scan, index):
    """The factor the graphs apply to input `index` (0 or 1): (factor, divides)."""
    c, s = scan.configuration, scan.settings
    sensor = c["Input1Mode" if index == 0 else "Input2Mode"]
    n = "1" if index == 0 else "2"
    if sensor == "Accelerometer":
        return s["Input%sVibrationScaling" % n], False
    if sensor == "Magnetometer":
        return s["Input%sMagneticScaling" % n], False
    if sensor == "Microphone":
        return s["Input%sMicrophoneScaling" % n], True
    return 1.0, False


def physical_time_data(scan, index):
    """Input `index`'s valid time record in the graph's units (display mode Normal)."""
    group = scan.inputs[index]
    values = group.time_data[:group.samples_acquired]
    factor, divides = scale_of(scan, index)
    return values / factor if divides else values * factor


class _FloatWaveReader(wave.Wave_read):
    """wave.Wave_read that also accepts IEEE-float samples (format tag 3)."""

    def _read_fmt_chunk(self, chunk):
        tag, self._nchannels, self._framerate, _, _ = struct.unpack_from("<HHLLH", chunk.read(14))
        bits = struct.unpack_from("<H", chunk.read(2))[0]
        if tag not in (1, 3):
            raise wave.Error("unknown format: %r" % (tag,))
        self._float = tag == 3
        self._sampwidth = (bits + 7) // 8
        if not self._nchannels or not self._sampwidth:
            raise wave.Error("bad channel count or sample width")
        self._framesize = self._nchannels * self._sampwidth
        self._comptype = "NONE"
        self._compname = "not compressed"


def _info_comment(path):
    """The ICMT text of the file's LIST/INFO chunk ('' when there is none)."""
    with open(path, "rb") as f:
        data = f.read()
    at = 12
    while at + 8 <= len(data):
        cid, size = data[at:at + 4], struct.unpack_from("<I", data, at + 4)[0]
        if cid == b"LIST" and data[at + 8:at + 12] == b"INFO":
            sub = at + 12
            while sub + 8 <= at + 8 + size:
                sid, ssize = data[sub:sub + 4], struct.unpack_from("<I", data, sub + 4)[0]
                if sid == b"ICMT":
                    return data[sub + 8:sub + 8 + ssize].rstrip(b"\0").decode("ascii", errors="replace")
                sub += 8 + ssize + (ssize & 1)
        at += 8 + size + (size & 1)
    return ""


_CHANNEL = re.compile(r"^Channel (\d+): (.*) \(([^()]*)\) = sample \* (\S+)$")


@dataclass
class WavExport:
    rate: int                 # the header's rate (whole hertz)
    samples: np.ndarray       # (frames, channels) float32, fractions of full scale
    names: list               # "Input 1 X", ...
    units: list               # "nT", "g", "Pa", ...
    factors: np.ndarray       # samples * factors = physical values
    comment: str

    def physical(self):
        return self.samples.astype(np.float64) * self.factors


def read_wav(path):
    """Reads a Tesselon-6 WAV export with the standard wave module."""
    w = _FloatWaveReader(str(path))
    try:
        frames = w.readframes(w.getnframes())
        dtype = "<f4" if getattr(w, "_float", False) else "<i%d" % w.getsampwidth()
        samples = np.frombuffer(frames, dtype=dtype).reshape(-1, w.getnchannels())
        rate = w.getframerate()
    finally:
        w.close()
    comment = _info_comment(path)
    names, units, factors = [], [], []
    for line in comment.splitlines():
        m = _CHANNEL.match(line)
        if m:
            names.append(m.group(2))
            units.append(m.group(3))
            factors.append(float(m.group(4)))
    if len(factors) != samples.shape[1]:
        factors = [1.0] * samples.shape[1]
    return WavExport(rate, samples, names, units, np.array(factors), comment)


def main(argv):
    if len(argv) != 2:
        print("usage: ts6reader.py FILE.ts6", file=sys.stderr)
        return 2
    try:
        scan = read(argv[1])
    except (OSError, Ts6Error) as e:
        print("ts6reader: %s" % e, file=sys.stderr)
        return 1
    t = scan.acquisition_time
    print("version %d, started %04d-%02d-%02d %02d:%02d:%02d" % (
        scan.version, t["year"], t["month"], t["day"], t["hour"], t["minute"], t["second"]))
    print("sample interval %g s, window %s, FFTK %d, overlap %d" % (
        scan.configuration["SampleInterval"],
        WINDOWS[scan.settings["FFTWindowing"]] if 0 <= scan.settings["FFTWindowing"] < 7 else "?",
        scan.settings["FFTK"], scan.settings["FFTOverlap"]))
    for i, g in enumerate(scan.inputs):
        used = scan.configuration["UseInput%d" % (i + 1)]
        print("input %d (%s, %s): %d samples, %d spectrum points" % (
            i + 1, scan.configuration["Input%dMode" % (i + 1)], "in use" if used else "not in use",
            g.samples_acquired, g.spectrum_point_count))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
