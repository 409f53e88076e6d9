// The exported C interface. The context is built when the library is loaded
// and destroyed when it is unloaded (or the process ends).
#include "driver/Torvane.h"

#include "driver/CDriverContext.h"

namespace {

struct ContextHolder
{
    CDriverContext context;
};

ContextHolder holder;

CDriverContext& ctx()
{
    return holder.context;
}

} // namespace

extern "C" {

int Torvane_Init()
{
    return 0;
}

int FindDevices()
{
    return ctx().FindDevices();
}

int GetDescriptor(int index, char* text, unsigned capacity, unsigned* length)
{
    return ctx().GetDescriptor(index, text, capacity, length);
}

int OpenDevice(int index)
{
    return ctx().OpenDevice(index);
}

int SetTimeOut(int ms)
{
    return ctx().SetTimeOut(ms);
}

int CloseDevice()
{
    return ctx().CloseDevice();
}

bool IsDeviceOpen()
{
    return ctx().IsDeviceOpen();
}

int TurnSensorOn(int group, bool on)
{
    return ctx().TurnSensorOn(group, on);
}

int SetSensorGain(int group, int gain)
{
    return ctx().SetSensorGain(group, gain);
}

int SetSensorHPFilter(int group, bool on)
{
    return ctx().SetSensorHPFilter(group, on);
}

int SetInputType(int group, int type)
{
    return ctx().SetInputType(group, type);
}

int SetMeasurementRate(double rateHz, bool decimate)
{
    return ctx().SetMeasurementRate(rateHz, decimate);
}

int Reset()
{
    return ctx().Reset();
}

int RunScan(bool start, int points)
{
    return ctx().RunScan(start, points);
}

int GetCurrentNumberOfPoints()
{
    return ctx().GetCurrentNumberOfPoints();
}

int GetMeasurement(int group, int start, int* count, double* time, AxisArrays* xyz, int filter)
{
    return ctx().GetMeasurement(group, start, count, time, xyz, filter);
}

bool IsScanning()
{
    return ctx().IsScanning();
}

bool IsUSBTwo()
{
    return ctx().IsUSBTwo();
}

int GetFirmwareVersion(unsigned* version)
{
    return ctx().GetFirmwareVersion(version);
}

bool IsBoardInReset()
{
    return ctx().IsBoardInReset();
}

int GetErrorText(char* text)
{
    return ctx().GetErrorText(text);
}

int SetLowpassFilterCutOff(double cutoffHz)
{
    return ctx().SetLowpassFilterCutOff(cutoffHz);
}

int SetLowpassFilterSize(int length)
{
    return ctx().SetLowpassFilterSize(length);
}

void GetThreadDetails(bool* readRunning, bool* processRunning, int* samplesRead, int* bytesBuffered,
                      int* pointsProcessed)
{
    ctx().GetThreadDetails(readRunning, processRunning, samplesRead, bytesBuffered, pointsProcessed);
}

int GetLostSampleCount()
{
    return ctx().GetLostSampleCount();
}

} // extern "C"
