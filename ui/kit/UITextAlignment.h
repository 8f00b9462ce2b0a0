#pragma once

namespace lumora {

// Horizontal placement of text in labels, fields and drawn text.
enum class UITextAlignment { Left, Center, Right };

}  // namespace lumora
