#pragma once

// Torvane: the instrument driver's C interface. Every function acts on the
// library's one context, built when the library is loaded. Functions that
// return int give 0 for success and 1 for failure unless noted.

#include "driver/Export.h"

extern "C" {

// Caller-owned arrays filled by GetMeasurement, each with room for the count asked.
struct AxisArrays
{
    double* x;
    double* y;
    double* z;
};

TORVANE_API int Torvane_Init(); // always 0: the library initialises itself when loaded
TORVANE_API int FindDevices();
// Product string of instrument index; always 0, the outcome is *length
// (characters + NUL, 0, or untouched when the instrument could not be read).
TORVANE_API int GetDescriptor(int index, char* text, unsigned capacity, unsigned* length);
TORVANE_API int OpenDevice(int index);
TORVANE_API int SetTimeOut(int ms);
TORVANE_API int CloseDevice();
TORVANE_API bool IsDeviceOpen();
TORVANE_API int TurnSensorOn(int group, bool on);
TORVANE_API int SetSensorGain(int group, int gain);
TORVANE_API int SetSensorHPFilter(int group, bool on);
TORVANE_API int SetInputType(int group, int type);
TORVANE_API int SetMeasurementRate(double rateHz, bool decimate);
TORVANE_API int Reset();
// start with points > 0: block scan; start with points <= 0: continuous mode; !start: stop.
TORVANE_API int RunScan(bool start, int points);
TORVANE_API int GetCurrentNumberOfPoints();
TORVANE_API int GetMeasurement(int group, int start, int* count, double* time, AxisArrays* xyz, int filter);
TORVANE_API bool IsScanning();
TORVANE_API bool IsUSBTwo();
TORVANE_API int GetFirmwareVersion(unsigned* version);
TORVANE_API bool IsBoardInReset();
// Copies the USB layer's last failure text; text must hold 128 characters. Always 0.
TORVANE_API int GetErrorText(char* text);
TORVANE_API int SetLowpassFilterCutOff(double cutoffHz); // always 0
TORVANE_API int SetLowpassFilterSize(int length);        // always 0
TORVANE_API void GetThreadDetails(bool* readRunning, bool* processRunning, int* samplesRead,
                                  int* bytesBuffered, int* pointsProcessed);
// Samples lost by the current (or last) scan: the FIFO overflows the
// instrument marked in the stream since RunScan started it. The stream marks
// each gap, not its length, so every overflow counts as (at least) one sample.
TORVANE_API int GetLostSampleCount();

} // extern "C"
