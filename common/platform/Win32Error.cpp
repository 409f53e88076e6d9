#include "common/platform/Win32Error.h"

#include <cerrno>

namespace FenmarlCommonDLL::platform {

namespace {

struct ErrorText
{
    std::uint32_t code;
    const char* text;
};

// The system's own wording (FormatMessage, English), so messages read as they
// would on Windows.
constexpr ErrorText kErrorTexts[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {11, "An attempt was made to load a program with an incorrect format."},
    {13, "The data is invalid."},
    {14, "Not enough memory resources are available to complete this operation."},
    {15, "The system cannot find the drive specified."},
    {19, "The media is write protected."},
    {21, "The device is not ready."},
    {22, "The device does not recognize the command."},
    {23, "Data error (cyclic redundancy check)."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {50, "The request is not supported."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {109, "The pipe has been ended."},
    {112, "There is not enough space on the disk."},
    {121, "The semaphore timeout period has expired."},
    {122, "The data area passed to a system call is too small."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {145, "The directory is not empty."},
    {161, "The specified path is invalid."},
    {170, "The requested resource is in use."},
    {183, "Cannot create a file when that file already exists."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {258, "The wait operation timed out."},
    {259, "No more data is available."},
    {995, "The I/O operation has been aborted because of either a thread exit or an application request."},
    {996, "Overlapped I/O event is not in a signaled state."},
    {997, "Overlapped I/O operation is in progress."},
    {1155, "No application is associated with the specified file for this operation."},
    {1167, "The device is not connected."},
    {1168, "Element not found."},
    {1223, "The operation was canceled by the user."},
    {1450, "Insufficient system resources exist to complete the requested service."},
    {1460, "This operation returned because the timeout period expired."},
};

} // namespace

std::string win32ErrorText(std::uint32_t code)
{
    for (const ErrorText& e : kErrorTexts) {
        if (e.code == code) return e.text;
    }
    return {};
}

std::uint32_t win32ErrorFromErrno(int err)
{
    switch (err) {
    case 0:
        return kErrorSuccess;
    case ENOENT:
        return kErrorFileNotFound;
    case ENOTDIR:
        return kErrorPathNotFound;
    case EACCES:
    case EPERM:
        return kErrorAccessDenied;
    case EBADF:
        return kErrorInvalidHandle;
    case ENOMEM:
        return kErrorNotEnoughMemory;
    case EINVAL:
    case EDOM:
    case ERANGE:
        return kErrorInvalidParameter;
    case ETIMEDOUT:
        return kErrorSemTimeout;
    case EEXIST:
        return kErrorAlreadyExists;
    case EBUSY:
    case EAGAIN:
        return kErrorBusy;
    case ENODEV:
    case ENXIO:
        return kErrorDeviceNotConnected;
    case ECANCELED:
    case EINTR:
        return kErrorOperationAborted;
    case ENOSYS:
    case EOPNOTSUPP:
        return kErrorNotSupported;
    case ENOSPC:
        return 112;
    case EROFS:
        return 19;
    case ENAMETOOLONG:
        return 206;
    case ENOTEMPTY:
        return 145;
    case EPIPE:
        return 109;
    case EOVERFLOW:
        return kErrorInsufficientBuffer;
    case ENOEXEC:
        return kErrorBadFormat;
    default:
        return kErrorGenFailure;
    }
}

} // namespace FenmarlCommonDLL::platform
