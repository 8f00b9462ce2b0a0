#include "base/decoder/Mp4ArrayProperty.h"

#include "base/decoder/Mp4Errors.h"

namespace lumora {

int Mp4ArrayProperty::Read(Mp4File* file) { return file ? 0 : mp4err::kFailed; }

int Mp4ArrayProperty::Write(Mp4File* file) { return file ? 0 : mp4err::kFailed; }

}  // namespace lumora
