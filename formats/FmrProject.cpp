#include "FmrProject.h"

#include "FileContent.h"
#include "FileErrors.h"
#include "PathHelpers.h"

#include <array>
#include <cstring>
#include <fstream>
#include <functional>
#include <locale>

namespace qm {
namespace {

// A header key and the member it fills, whatever the member's kind.
struct KeyReader {
    const char* key;
    std::function<void(std::istream&, const std::string&)> read;
};

template <typename Field> KeyReader key(const char* keyText, Field& field) {
    return {keyText, [&field](std::istream& in, const std::string& token) {
                readHeaderField(in, token, field);
            }};
}

// Reads the field of the first key in `keys` equal to `token`; true on a match.
bool readIfKnown(std::istream& in, const std::string& token, const std::vector<KeyReader>& keys) {
    for (const auto& entry : keys) {
        if (token == entry.key) {
            entry.read(in, token);
            return true;
        }
    }
    return false;
}

} // namespace

FmrProject::FmrProject(std::string filePath, bool readData) : path(std::move(filePath)) {
    fileVersion.value = -1;
    std::ifstream in = openFileForReading(path, std::ios::in, "Failed opening for reading: ");
    in.imbue(std::locale::classic());
    skipByteOrderMark(in);

    const std::vector<KeyReader> topLevel = {
        key("FileVersion:", fileVersion),
        key("NrOfVolumes:", nrOfVolumes),
        key("NrOfSlices:", nrOfSlices),
        key("NrOfSkippedVolumes:", nrOfSkippedVolumes),
        key("Prefix:", prefix),
        key("DataStorageFormat:", dataStorageFormat),
        key("DataType:", dataType),
        key("TR:", tr),
        key("InterSliceTime:", interSliceTime),
        key("TimeResolutionVerified:", timeResolutionVerified),
        key("TE:", te),
        key("SliceAcquisitionOrder:", sliceAcquisitionOrder),
        key("SliceAcquisitionOrderVerified:", sliceAcquisitionOrderVerified),
        key("ResolutionX:", resolutionX),
        key("ResolutionY:", resolutionY),
        key("LoadAMRFile:", loadAMRFile),
        key("ShowAMRFile:", showAMRFile),
        key("ImageIndex:", imageIndex),
        key("LayoutNColumns:", layoutNColumns),
        key("LayoutNRows:", layoutNRows),
        key("LayoutZoomLevel:", layoutZoomLevel),
        key("SegmentSize:", segmentSize),
        key("SegmentOffset:", segmentOffset),
        key("NrOfLinkedProtocols:", nrOfLinkedProtocols),
        key("ProtocolFile:", protocolFile),
        key("InplaneResolutionX:", inplaneResolutionX),
        key("InplaneResolutionY:", inplaneResolutionY),
        key("SliceThickness:", sliceThickness),
        key("SliceGap:", sliceGap),
        key("VoxelResolutionVerified:", voxelResolutionVerified),
    };
    const std::vector<KeyReader> positionBlock = {
        key("PosInfosVerified:", posInfosVerified),
        key("CoordinateSystem:", coordinateSystem),
        key("Slice1CenterX:", slice1CenterX),
        key("Slice1CenterY:", slice1CenterY),
        key("Slice1CenterZ:", slice1CenterZ),
        key("SliceNCenterX:", sliceNCenterX),
        key("SliceNCenterY:", sliceNCenterY),
        key("SliceNCenterZ:", sliceNCenterZ),
        key("RowDirX:", rowDirX),
        key("RowDirY:", rowDirY),
        key("RowDirZ:", rowDirZ),
        key("ColDirX:", colDirX),
        key("ColDirY:", colDirY),
        key("ColDirZ:", colDirZ),
        key("NRows:", nRows),
        key("NCols:", nCols),
        key("FoVRows:", foVRows),
        key("FoVCols:", foVCols),
        key("SliceThickness:", positionSliceThickness),
        key("GapThickness:", gapThickness),
    };
    const std::vector<KeyReader> trailing = {
        key("NrOfPastSpatialTransformations:", nrOfPastSpatialTransformations),
        key("LeftRightConvention:", leftRightConvention),
        key("FirstDataSourceFile:", firstDataSourceFile),
        key("MultibandSequence:", multibandSequence),
        key("SliceTimingTableSize:", sliceTimingTableSize),
    };

    std::string token;
    while (in >> token) {
        readIfKnown(in, token, topLevel);
        if (token == "PositionInformationFromImageHeaders") {
            // The block ends right after the value of "GapThickness:"; top-level keys are not
            // recognised inside it.
            while (in && token != "GapThickness:") {
                if (!(in >> token)) {
                    break;
                }
                readIfKnown(in, token, positionBlock);
            }
            if (!in) {
                // The block ran to the end of the file: its last token is no top-level key.
                break;
            }
        }
        if (readIfKnown(in, token, trailing) && token == "SliceTimingTableSize:") {
            // The count comes from the file: read the entries one by one rather than reserving
            // space for a count that the file may not hold.
            for (std::int32_t i = 0; in && i < sliceTimingTableSize.value; ++i) {
                float entry = 0.0F;
                if (in >> entry) {
                    sliceTimingTable.push_back(entry);
                }
            }
            std::string dropped;
            in >> dropped;
        }
    }

    if (readData) {
        readSliceData();
    }
}

std::string FmrProject::stcPath() const {
    return directoryPart(path) + prefix.value + ".stc";
}

} // namespace qm
