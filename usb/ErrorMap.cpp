#include "usb/LibusbBus.h"

#include <cerrno>
#include <libusb.h>

// The one place where libusb and errno failures become the numbers WinUSB
// would have reported, so "GetLastError=%lu" messages read as on Windows.
namespace FenmarlUsb {

namespace {

struct Pair
{
    int from;
    std::uint32_t to;
};

constexpr std::uint32_t kGenFailure = 31;

constexpr Pair kLibusb[] = {
    {LIBUSB_SUCCESS, 0},
    {LIBUSB_ERROR_IO, kGenFailure},
    {LIBUSB_ERROR_INVALID_PARAM, 87}, // ERROR_INVALID_PARAMETER
    {LIBUSB_ERROR_ACCESS, 5},         // ERROR_ACCESS_DENIED
    {LIBUSB_ERROR_NO_DEVICE, 1167},   // ERROR_DEVICE_NOT_CONNECTED
    {LIBUSB_ERROR_NOT_FOUND, 1168},   // ERROR_NOT_FOUND
    {LIBUSB_ERROR_BUSY, 170},         // ERROR_BUSY
    {LIBUSB_ERROR_TIMEOUT, 121},      // ERROR_SEM_TIMEOUT
    {LIBUSB_ERROR_OVERFLOW, 234},     // ERROR_MORE_DATA
    {LIBUSB_ERROR_PIPE, kGenFailure}, // a stall
    {LIBUSB_ERROR_INTERRUPTED, 995},  // ERROR_OPERATION_ABORTED
    {LIBUSB_ERROR_NO_MEM, 8},         // ERROR_NOT_ENOUGH_MEMORY
    {LIBUSB_ERROR_NOT_SUPPORTED, 50}, // ERROR_NOT_SUPPORTED
    {LIBUSB_ERROR_OTHER, kGenFailure},
};

constexpr Pair kErrno[] = {
    {EPERM, 5},        {EACCES, 5},        {EBADF, 6},           {ENOMEM, 8},
    {EINVAL, 87},      {ENOENT, 2},        {ENODEV, 1167},       {ENXIO, 1167},
    {ESHUTDOWN, 1167}, {ETIMEDOUT, 121},   {ECANCELED, 995},     {EINTR, 995},
    {EBUSY, 170},      {EIO, kGenFailure}, {EPIPE, kGenFailure}, {EPROTO, kGenFailure},
    {EOVERFLOW, 234},  {ENOSYS, 50},       {EOPNOTSUPP, 50},
};

} // namespace

// Negative values are libusb error codes, positive ones errno values.
std::uint32_t win32FromLibusb(int error)
{
    if (error <= 0) {
        for (const Pair& p : kLibusb)
            if (p.from == error) return p.to;
        return kGenFailure;
    }
    for (const Pair& p : kErrno)
        if (p.from == error) return p.to;
    return kGenFailure;
}

// A finished asynchronous transfer's status.
std::uint32_t win32FromTransferStatus(int status)
{
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
        return 0;
    case LIBUSB_TRANSFER_TIMED_OUT:
        return 121;
    case LIBUSB_TRANSFER_CANCELLED:
        return 995;
    case LIBUSB_TRANSFER_NO_DEVICE:
        return 1167;
    case LIBUSB_TRANSFER_OVERFLOW:
        return 234;
    case LIBUSB_TRANSFER_STALL:
    case LIBUSB_TRANSFER_ERROR:
    default:
        return kGenFailure;
    }
}

} // namespace FenmarlUsb
