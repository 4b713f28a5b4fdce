// The bytes of a NIfTI-1 single-file image ("n+1") of float32 maps, laid out field by field,
// for machines without the NIfTI library (the Windows build of Halvorn.exe). The file is the
// one the library writes for the same image, header field for header field.
#pragma once

#include "NiftiWriter.h"

#include <string>

namespace halvorn_host {

// Size of the NIfTI-1 header, and the offset of the data in a single file without extensions:
// the header, then four bytes that say no extension follows.
inline constexpr std::size_t kNifti1HeaderSize = 348;
inline constexpr std::size_t kNifti1DataOffset = 352;

// The whole file for `image`: header, extension flag, then every volume's values as
// little-endian float32, volume after volume. Throws std::invalid_argument when there is
// nothing to write (no volume, a dimension below 1) or the volumes differ in size.
std::string nifti1SingleFile(const NiftiMapImage& image);

} // namespace halvorn_host
