#pragma once

namespace lumora {

class SectionHeaderViewHD;

// Told by a device section header of the tablet device panel. Every
// operation is optional. Main thread.
class SectionHeaderViewDelegate {
public:
    virtual ~SectionHeaderViewDelegate() = default;
    virtual void sectionHeaderViewSectionClosed(SectionHeaderViewHD* /*header*/, int /*section*/) {}
    virtual void sectionHeaderViewSectionOpened(SectionHeaderViewHD* /*header*/, int /*section*/) {}
    // The right-hand button: open the device's view.
    virtual void sectionHeaderViewSectionClicked(SectionHeaderViewHD* /*header*/, int /*section*/) {}
};

}  // namespace lumora
