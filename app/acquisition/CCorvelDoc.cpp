#include "app/acquisition/CCorvelDoc.h"

#include "app/acquisition/GraphLegacyBlock.h"
#include "app/acquisition/PostProcessing.h"
#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/ScanFile.h"
#include "app/acquisition/Spectrum.h"
#include "app/base/Archive.h"
#include "app/base/UserInteraction.h"
#include "app/specification/SpecificationTest.h"

#include <algorithm>
#include <array>
#include <memory>

void DocumentView::storeGraph(ArchiveWriter& archive)
{
    const auto& block = GraphLegacyBlock();
    archive.writeBytes(block.data(), block.size());
}

CCorvelDoc::CCorvelDoc(const CScanConfiguration& configuration, const DefaultSettings& defaults)
    : settings(defaults)
{
    scan.configuration = configuration;
}

CCorvelDoc::CCorvelDoc() = default;

void CCorvelDoc::addView(DocumentView* view)
{
    if (view && std::find(views_.begin(), views_.end(), view) == views_.end()) views_.push_back(view);
}

void CCorvelDoc::removeView(DocumentView* view)
{
    views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end());
}

void CCorvelDoc::UpdateAllViews()
{
    // The flags are decided here, not in the views, so a run without views stores the same ones.
    EvaluateSpecification(*this, false);
    // A view may close itself while updating: walk a copy.
    const std::vector<DocumentView*> views = views_;
    for (DocumentView* view : views)
        view->onDocumentUpdate(*this);
}

bool CCorvelDoc::UpdateViewsAndAlert()
{
    UpdateAllViews();
    return SoundSpecificationAlert(scan.configuration.Specification, alertMuted != 0);
}

double CCorvelDoc::inputScale(int input) const
{
    const CScanConfiguration& c = scan.configuration;
    const std::string& type = c.inputMode(input);
    if (SensorTypes::isAccelerometer(type)) return settings.vibrationScaling(input);
    if (SensorTypes::isMagnetometer(type)) return settings.magneticScaling(input);
    if (SensorTypes::isMicrophone(type)) return settings.microphoneScaling(input);
    return 1.0;
}

void CCorvelDoc::RecomputeSpectra()
{
    const CScanConfiguration& c = scan.configuration;
    for (int input = 0; input < 2; ++input) {
        ScanData& data = scan.input(input);
        const std::string& type = c.inputMode(input);
        const std::string& mode = c.displayMode(input);
        const int unit = settings.spectrumUnit(input);
        const bool microphone = SensorTypes::isMicrophone(type);
        const double scale = microphone ? inputScale(input) : 1.0;

        const int axes = data.allocatedAxes();
        MappedSeries x;
        std::vector<MappedSeries> displayed(static_cast<std::size_t>(axes));
        std::vector<MappedSeries*> y;
        for (MappedSeries& s : displayed)
            y.push_back(&s);
        ConvertTimeForDisplay(data, mode, 0, microphone, scale, x, y);

        int points = 0;
        for (int a = 0; a < axes; ++a) {
            MappedSeries result;
            int count = data.samplesAcquired;
            ComputeSpectrum(data.timeAxis, displayed[static_cast<std::size_t>(a)], settings.FFTK,
                            settings.FFTOverlap != 0, settings.FFTWindowing, unit, data.frequencyAxis, result,
                            count);
            FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
            data.spectrum[static_cast<std::size_t>(a)].zero();
            if (count > 0)
                data.spectrum[static_cast<std::size_t>(a)].copyFrom(result,
                                                                    static_cast<std::uint32_t>(count));
            points = count;
        }
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        data.spectrumPointCount = points;
    }
    UpdateAllViews();
}

void CCorvelDoc::ApplyDataSettings(const CScanConfiguration& configuration,
                                   const DefaultSettings& newSettings)
{
    {
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        const std::string fileName = scan.configuration.FileName;
        scan.configuration = configuration;
        scan.configuration.FileName = fileName;
    }
    settings = newSettings;
    modified_ = true;
    RecomputeSpectra();
}

bool CCorvelDoc::InputMeansEnabled(int input) const
{
    const CScanConfiguration& c = scan.configuration;
    return c.usesInput(input) && SensorTypes::isMicrophone(c.inputMode(input));
}

std::string CCorvelDoc::InputMeansText(int input)
{
    return ::InputMeansText(scan.input(input));
}

void CCorvelDoc::ShowInputMeans(int input, UserInteraction& ui)
{
    ui.messageBox(InputMeansText(input), InputMeansCaption(input), FenmarlCommonDLL::platform::MB_OK_);
}

void CCorvelDoc::Serialize(ArchiveWriter& archive)
{
    archive.writeBytes(ScanFile::kSignature.data(), ScanFile::kSignature.size());
    archive.writeInt32(ScanFile::kVersion);
    {
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        ScanFile::storeTime(archive, scan.acquisitionTime);
        scan.configuration.store(archive);
        ScanFile::storeScanData(archive, scan.input1);
        ScanFile::storeScanData(archive, scan.input2);
    }
    settings.store(archive);
    for (DocumentView* view : views_) {
        if (view->isGraphView()) {
            view->storeGraph(archive);
            archive.flush();
        }
    }
}

void CCorvelDoc::Serialize(ArchiveReader& archive)
{
    std::array<std::uint8_t, 16> signature{};
    if (archive.remaining() < signature.size()) {
        fileInvalid = 1;
        throw ArchiveException(ArchiveException::Cause::BadFormat, ScanFile::kInvalidFileMessage);
    }
    archive.readBytes(signature.data(), signature.size());
    if (signature != ScanFile::kSignature) {
        fileInvalid = 1;
        throw ArchiveException(ArchiveException::Cause::BadFormat, ScanFile::kInvalidFileMessage);
    }

    // Everything goes into fresh objects first: a failure leaves the document as it was.
    const std::int32_t word = archive.readInt32();
    std::int32_t version = word;
    SystemTime time;
    if (word >= 0) {
        version = 0;
        time = ScanFile::loadTimeAfterWord(archive, word);
    } else {
        if (word < ScanFile::kOldestVersion)
            throw ArchiveException(ArchiveException::Cause::BadFormat,
                                   "Unknown file format version " + std::to_string(word));
        time = ScanFile::loadTime(archive);
    }
    CScanConfiguration configuration = scan.configuration;
    configuration.load(archive, version);
    auto input1 = std::make_unique<ScanData>();
    auto input2 = std::make_unique<ScanData>();
    ScanFile::loadScanData(archive, *input1, version);
    ScanFile::loadScanData(archive, *input2, version);
    DefaultSettings loadedSettings = settings;
    loadedSettings.load(archive, version);
    if (loadedSettings.FFTK < 1 || loadedSettings.FFTK > SpectrumConstants::kMaxSegments)
        throw ArchiveException(ArchiveException::Cause::BadFormat,
                               "FFTK " + std::to_string(loadedSettings.FFTK) + " outside 1 ... " +
                                   std::to_string(SpectrumConstants::kMaxSegments));
    // The graph blocks that follow are not read, but anything else there means
    // the counts before them did not describe the file.
    if (archive.remaining() % kGraphLegacyBlockSize != 0)
        throw ArchiveException(ArchiveException::Cause::BadFormat,
                               std::to_string(archive.remaining()) +
                                   " bytes after the data settings are not whole graph blocks");

    {
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        scan.acquisitionTime = time;
        const std::string fileName = scan.configuration.FileName;
        scan.configuration = configuration;
        scan.configuration.FileName = fileName;
        scan.input1 = std::move(*input1);
        scan.input2 = std::move(*input2);
    }
    settings = loadedSettings;

    for (DocumentView* view : std::vector<DocumentView*>(views_))
        view->loadGraph(scan.input1.samplesAcquired);
    if (version == 0 || version == -1 || version == -2) RecomputeSpectra();
}

bool CCorvelDoc::OnOpenDocument(const std::filesystem::path& path, UserInteraction* ui)
{
    fileInvalid = 0;
    lastError_.clear();
    try {
        ArchiveReader archive(path);
        Serialize(archive);
    } catch (const ArchiveException& e) {
        lastError_ = e.what();
        if (ui) {
            const std::string text = fileInvalid ? std::string(ScanFile::kInvalidFileMessage)
                                                 : kDamagedFileMessage + path.string();
            ui->messageBox(text, "Error", FenmarlCommonDLL::platform::MB_ICONERROR_);
        }
        return false;
    } catch (const std::bad_alloc&) {
        lastError_ = "Not enough memory to open " + path.string();
        if (ui)
            ui->messageBox(kDamagedFileMessage + path.string(), "Error",
                           FenmarlCommonDLL::platform::MB_ICONERROR_);
        return false;
    }
    if (fileInvalid) return false;
    path_ = path;
    modified_ = false;
    return true;
}

bool CCorvelDoc::OnSaveDocument(const std::filesystem::path& path)
{
    lastError_.clear();
    try {
        ArchiveWriter archive(path, 1 << 20);
        Serialize(archive);
        archive.commit();
    } catch (const ArchiveException& e) {
        lastError_ = e.what();
        return false;
    } catch (const std::bad_alloc&) {
        lastError_ = "Not enough memory to save " + path.string();
        return false;
    }
    path_ = path;
    modified_ = false;
    return true;
}

ExportInput CCorvelDoc::exportInput(int input)
{
    const CScanConfiguration& c = scan.configuration;
    ExportInput e;
    e.data = &scan.input(input);
    e.sensorType = c.inputMode(input);
    e.displayMode = c.displayMode(input);
    e.magneticUnits = settings.MagneticUnits;
    e.vibrationUnits = settings.VibrationUnits;
    e.spectrumUnit = settings.spectrumUnit(input);
    e.scale = inputScale(input);
    return e;
}

bool CCorvelDoc::ExportData(const std::filesystem::path& path, int input, UserInteraction* ui)
{
    return ExportDataFile(path, scan.acquisitionTime, exportInput(input), ui);
}

std::string CCorvelDoc::CopyData(int input)
{
    return CopyDataText(exportInput(input));
}

bool CCorvelDoc::AutomaticExport(const std::filesystem::path& scanFile, UserInteraction* ui)
{
    const CScanConfiguration& c = scan.configuration;
    const ExportInput first = exportInput(0);
    const ExportInput second = exportInput(1);
    const ExportInput* one = c.UseInput1 ? &first : nullptr;
    const ExportInput* two = c.UseInput2 ? &second : nullptr;
    if (!one && !two) return false;
    lastError_.clear();
    return ExportAutomaticFile(AutomaticExportPath(scanFile), scan.acquisitionTime, one, two, ui,
                               &lastError_);
}

void CCorvelDoc::FilterDocument(int rollingPoints, int passes)
{
    FilterScanData(scan.input1, scan.input2, rollingPoints, passes);
    // The filtered records are no longer what the file holds.
    modified_ = true;
    RecomputeSpectra();
}

void CCorvelDoc::AverageSpectraWithPrevious(const ScanProperties& previous, int k)
{
    ::AverageSpectraWithPrevious(scan.input1, previous.input1, k);
    ::AverageSpectraWithPrevious(scan.input2, previous.input2, k);
    modified_ = true;
}
