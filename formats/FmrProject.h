// The host's FMR project file: the text header of a functional run, and its STC slice data.
#pragma once

#include "HeaderField.h"
#include "Volume.h"

#include <string>
#include <vector>

namespace qm {

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

    // Reads every volume of the STC file into `volumes`.
    void readSliceData();
};

} // namespace qm
