// The two images, generated at build time from the Intel HEX files chosen by
// AMBREL_LOADER_HEX and AMBREL_FIRMWARE_HEX.
#include "firmware_loader/ImageRecord.h"

namespace TorvaneDLL {

namespace {

constexpr ImageRecord kLoaderImage[] = {
#include "firmware_loader/LoaderImage.inc"
};

constexpr ImageRecord kFirmwareImage[] = {
#include "firmware_loader/FirmwareImage.inc"
};

} // namespace

std::span<const ImageRecord> loaderImage()
{
    return kLoaderImage;
}

std::span<const ImageRecord> firmwareImage()
{
    return kFirmwareImage;
}

} // namespace TorvaneDLL
