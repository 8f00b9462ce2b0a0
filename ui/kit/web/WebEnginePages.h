#pragma once

namespace lumora {

// Makes UIWebView draw pages with the browser engine. Call before the first
// web view exists (best before the Qt application is made: the engine
// shares the application's graphics contexts). Run as root, the engine's
// sandbox is switched off (it refuses to start otherwise); without a
// display it draws in software.
void installWebEnginePages();

}  // namespace lumora
