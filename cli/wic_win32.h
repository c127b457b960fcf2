// The Windows Imaging Component for palvex's PNG files: the imaging factory
// (picture_png_win32.cpp decodes with it, png_write_win32.cpp encodes), made
// while the caller holds COM on its thread (host::CApartment).
#pragma once

#include "control/automation/com_support.h"

#include <wincodec.h>

#include <string>

namespace palvex::cli {

// The imaging factory; empty with the reason in `why`.
ComPtr<IWICImagingFactory> ImagingFactory(std::string& why);

// "what failed: 0x88982F50 (...)" for a failed codec call.
std::string CodecFailure(const char* what, HRESULT hr);

} // namespace palvex::cli
