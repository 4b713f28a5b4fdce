// The host's FMR project file: the text header of a functional run, and its STC slice data.
#pragma once

#include "HeaderField.h"
#include "Volume.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// One volume read on its own from the STC file, and how much of the file was there.
struct StcVolume {
    Volume volume;
    std::uint64_t missingSamples = 0; // of this volume, beyond the end of the file; read as 0
    std::uint64_t fileBytes = 0;      // size of the STC file
    std::uint64_t expectedBytes = 0;  // size that the header describes

    bool fileIsShort() const { return fileBytes < expectedBytes; }
};

// What reading one volume does when the STC file ends before the volume does.
enum class ShortStcFile {
    ReadAsZeros, // the missing samples read as 0, and StcVolume says how many there were
    Refuse,      // FileFormatError naming both files and their sizes, before anything is allocated
};

struct FmrProject {
    std::string path;

    IntField fileVersion;
    IntField nrOfVolumes;
    IntField nrOfSlices;
    IntField nrOfSkippedVolumes;
    StringField prefix;
    IntField dataStorageFormat;
    IntField dataType;
    IntField tr;
    IntField interSliceTime;
    BoolField timeResolutionVerified;
    IntField te;
    IntField sliceAcquisitionOrder;
    BoolField sliceAcquisitionOrderVerified;
    IntField resolutionX;
    IntField resolutionY;
    StringField loadAMRFile;
    BoolField showAMRFile;
    IntField imageIndex;
    IntField layoutNColumns;
    IntField layoutNRows;
    IntField layoutZoomLevel;
    IntField segmentSize;
    IntField segmentOffset;
    IntField nrOfLinkedProtocols;
    StringField protocolFile;
    FloatField inplaneResolutionX;
    FloatField inplaneResolutionY;
    FloatField sliceThickness;
    FloatField sliceGap;
    BoolField voxelResolutionVerified;

    // Inside the "PositionInformationFromImageHeaders" block only.
    BoolField posInfosVerified;
    IntField coordinateSystem;
    FloatField slice1CenterX;
    FloatField slice1CenterY;
    FloatField slice1CenterZ;
    FloatField sliceNCenterX;
    FloatField sliceNCenterY;
    FloatField sliceNCenterZ;
    FloatField rowDirX;
    FloatField rowDirY;
    FloatField rowDirZ;
    FloatField colDirX;
    FloatField colDirY;
    FloatField colDirZ;
    IntField nRows;
    IntField nCols;
    FloatField foVRows;
    FloatField foVCols;
    FloatField positionSliceThickness;
    FloatField gapThickness;

    IntField nrOfPastSpatialTransformations;
    StringField leftRightConvention;
    StringField firstDataSourceFile;
    IntField multibandSequence;
    IntField sliceTimingTableSize;

    std::vector<float> sliceTimingTable;
    // One per functional volume, filled by readSliceData.
    std::vector<Volume> volumes;

    // Reads the header at `filePath`; with `readData` also the slice data. Throws
    // OpenFileError when the FMR (or its STC) cannot be opened.
    FmrProject(std::string filePath, bool readData);

    // Path of the STC file: the FMR's folder, the prefix, then ".stc".
    std::string stcPath() const;

    // Columns, rows and slices of one volume ("ResolutionX:", "ResolutionY:", "NrOfSlices:").
    // Throws FileFormatError naming the FMR when one of them is absent or negative, or when a
    // volume would hold more than 2^31 - 1 voxels.
    VolumeDimensions volumeDimensions() const;

    // Reads every volume of the STC file into `volumes`, replacing them. Samples beyond the end
    // of a short file read as 0. Throws FileFormatError naming the FMR, before allocating
    // anything, when the header does not describe a run that can be held in memory (see
    // volumeDimensions; also "NrOfVolumes:" and "Prefix:" must be present, and the whole run
    // may hold at most 2^31 - 1 samples), and OpenFileError when the STC cannot be opened.
    void readSliceData();

    // Reads volume `index` alone, in memory for one volume and one slice whatever the number of
    // volumes. A file that ends before the volume does is handled as `shortFile` says. Throws
    // FileFormatError naming the FMR when the header does not describe a readable run or has no
    // volume `index`, and OpenFileError when the STC cannot be opened.
    StcVolume readVolume(std::int32_t index,
                         ShortStcFile shortFile = ShortStcFile::ReadAsZeros) const;
};

} // namespace qm
