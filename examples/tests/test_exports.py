"""Reads what tesselon-6 wrote (make_exports.sh) with the example reader and
Python's own csv and wave modules.

    run_python.sh test_exports.py <export-dir> [TestCase.test_name ...]
"""

import csv
import math
import os
import sys
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
import ts6reader  # noqa: E402

EXPORTS = None


def read_csv(path):
    """Header block (dict), column names and table rows of a CSV export."""
    with open(path, newline="", encoding="utf-8") as f:
        records = list(csv.reader(f))
    blank = records.index([])
    header = {}
    for row in records[:blank]:
        assert len(row) == 2, row
        header[row[0]] = row[1]
    return header, records[blank + 1], records[blank + 2:]


def read_dat(path):
    """Rows of the tab-separated export, split at tabs (lines end in a tab)."""
    with open(path) as f:
        lines = f.read().split("\n")
    assert lines[-1] == ""
    return lines[0], lines[1], [line.split("\t")[:-1] for line in lines[2:-1]]


class CsvExport(unittest.TestCase):
    def test_round_trips_with_the_dat_numbers(self):
        header, columns, rows = read_csv(os.path.join(EXPORTS, "scan.csv"))
        _, _, dat = read_dat(os.path.join(EXPORTS, "scan.dat"))
        self.assertEqual(header["Window"], "Flat Top")
        self.assertEqual(header["Input 1 sensor type"], "Magnetometer")
        self.assertEqual(header["Input 2 spectrum unit"], "dB SPL")
        self.assertEqual(len(columns), 16)
        self.assertEqual(columns[0], "Input 1 Time (s)")
        self.assertEqual(columns[1], "Input 1 X (nT)")
        self.assertEqual(len(rows), len(dat))
        self.assertEqual(len(rows), 2048)
        spectrum_rows = 0
        for i, (row, d) in enumerate(zip(rows, dat)):
            self.assertEqual(len(row), 16, i)
            # Two-input .dat: times "%.10f", values "%g"; a missing spectrum block is 4 empty fields.
            self.assertEqual("%.10f" % float(row[0]), d[0])
            self.assertEqual(["%g" % float(v) for v in row[1:4]], d[1:4])
            self.assertEqual("%.10f" % float(row[8]), d[8])
            self.assertEqual(["%g" % float(v) for v in row[9:12]], d[9:12])
            if row[4]:
                spectrum_rows += 1
                self.assertEqual(["%g" % float(v) for v in row[4:8]], d[4:8])
                self.assertEqual(["%g" % float(v) for v in row[12:16]], d[12:16])
            else:
                self.assertEqual(row[4:8], ["", "", "", ""])
                self.assertEqual(d[4:8], ["", "", "", ""])
        self.assertEqual(spectrum_rows, 1022)

    def test_the_default_and_the_named_outputs_are_the_same(self):
        with open(os.path.join(EXPORTS, "scan.csv"), "rb") as a, open(os.path.join(EXPORTS, "named.csv"), "rb") as b:
            self.assertEqual(a.read(), b.read())
        with open(os.path.join(EXPORTS, "scan.dat"), "rb") as a, open(os.path.join(EXPORTS, "auto.dat"), "rb") as b:
            self.assertEqual(a.read(), b.read())


class WavExport(unittest.TestCase):
    def test_opens_with_the_wave_module_with_the_right_rate_and_values(self):
        wav = ts6reader.read_wav(os.path.join(EXPORTS, "scan.wav"))
        header, _, rows = read_csv(os.path.join(EXPORTS, "scan.csv"))
        rate = float(header["Sample rate (Hz)"])
        self.assertEqual(wav.rate, round(rate))
        self.assertEqual(wav.samples.dtype, np.dtype("<f4"))
        self.assertEqual(wav.samples.shape, (2048, 6))
        self.assertEqual(wav.names, ["Input 1 X", "Input 1 Y", "Input 1 Z", "Input 2 X", "Input 2 Y", "Input 2 Z"])
        self.assertEqual(wav.units, ["nT"] * 3 + ["Pa"] * 3)
        # Gain 10 on input 1: full scale 1.024 V; the magnetometer scaling multiplies,
        # the microphone's 0.05 V/Pa divides.
        scan = ts6reader.read(os.path.join(EXPORTS, "scan.ts6"))
        self.assertAlmostEqual(wav.factors[0], 1.024 * scan.settings["Input1MagneticScaling"], places=9)
        self.assertAlmostEqual(wav.factors[3], 10.24 / scan.settings["Input2MicrophoneScaling"], places=9)
        # Normal display mode: the CSV's time values are the physical values.
        table = np.array([[float(r[c]) for c in (1, 2, 3, 9, 10, 11)] for r in rows])
        physical = wav.physical()
        tolerance = np.abs(wav.factors) * 2.0 ** -23  # float32 rounding of a full-scale fraction
        self.assertTrue(np.all(np.abs(physical - table) <= tolerance + 1e-7 * np.abs(table)),
                        np.max(np.abs(physical - table) / tolerance))
        self.assertGreater(np.max(np.abs(wav.samples)), 0.0)
        self.assertLessEqual(np.max(np.abs(wav.samples[:, :3])), 1.0)


class ScanFile(unittest.TestCase):
    def test_reader_gives_the_numbers_the_program_exported(self):
        scan = ts6reader.read(os.path.join(EXPORTS, "scan.ts6"))
        header, _, rows = read_csv(os.path.join(EXPORTS, "scan.csv"))
        self.assertEqual(scan.version, -9)
        self.assertEqual(scan.configuration["UseInput2"], 1)
        self.assertEqual(scan.configuration["Input1SensorGain"], 10)
        self.assertEqual(ts6reader.WINDOWS[scan.settings["FFTWindowing"]], header["Window"])
        self.assertEqual(str(scan.settings["FFTK"]), header["FFTK"])
        t = scan.acquisition_time
        self.assertTrue(header["Scan started"].startswith(
            "%04d-%02d-%02d %02d:%02d:%02d" % (t["year"], t["month"], t["day"], t["hour"], t["minute"], t["second"])))
        self.assertEqual(scan.configuration["SampleInterval"], float(header["Sample interval (s)"]))
        for index, first in ((0, 1), (1, 9)):
            group = scan.inputs[index]
            self.assertEqual(group.samples_acquired, 2048)
            self.assertEqual(group.spectrum_point_count, 1024)
            table = np.array([[float(r[c]) for c in range(first - 1, first + 3)] for r in rows])
            np.testing.assert_array_equal(group.time[:2048], table[:, 0])
            np.testing.assert_allclose(ts6reader.physical_time_data(scan, index), table[:, 1:], rtol=1e-12, atol=0)
        # The displayed magnetometer spectrum: points 2 ... 1023 times the scaling.
        s = scan.inputs[0].spectrum[2:1024] * ts6reader.scale_of(scan, 0)[0]
        csv_spectrum = np.array([[float(r[c]) for c in (5, 6, 7)] for r in rows[:1022]])
        np.testing.assert_allclose(s, csv_spectrum, rtol=1e-12)
        # The microphone's in dB SPL from pascals.
        pa = scan.inputs[1].spectrum[2:1024, 0]
        db = np.where(pa > 0, 20 * np.log10(np.where(pa > 0, pa, 1)) + 94, 0)
        np.testing.assert_allclose(db, [float(r[13]) for r in rows[:1022]], rtol=1e-12)

    def test_refuses_a_file_that_is_not_a_scan(self):
        path = os.path.join(EXPORTS, "scan.csv")
        with self.assertRaises(ts6reader.Ts6Error):
            ts6reader.read(path)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__)
        sys.exit(2)
    EXPORTS = sys.argv[1]
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
