#pragma once

#include <QPointer>

namespace lumora {

// A non-owning reference to a view that turns null when the view is
// destroyed (the view tree owns its views). Screens hold views through it.
template <class T>
using WeakView = QPointer<T>;

}  // namespace lumora
