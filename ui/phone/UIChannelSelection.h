#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ui/common/ChannelSelectionGroup.h"
#include "ui/kit/UITableViewController.h"

namespace lumora {

class UIChannelSelectionDelegate {
public:
    virtual ~UIChannelSelectionDelegate() = default;
    virtual void onChannelSelect(uint32_t mask) = 0;
};

// The pushed list on which the channels of a recording search are ticked;
// Done hands the mask to the delegate and pops the screen.
class UIChannelSelection : public UITableViewController {
public:
    UIChannelSelection();

    std::weak_ptr<UIChannelSelectionDelegate> delegate;
    bool m_bShowChannelGroup = false;

    // setTotalChannels:curChannelMask:
    void setTotalChannels(int count, uint32_t mask);
    void onChannelSelect();
    void setChannel(int channels);
    void addSelectChannel(int channel);

    int totalChannels() const { return m_nTotalChannels; }
    bool selectedAll() const { return m_bSelectedAll; }
    const std::vector<std::shared_ptr<ChannelSelectionGroup>>& groups() const { return m_chArray; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return true; }
    int numberOfRowsInSection(UITableView*, int) override;
    UITableViewCell* cellForRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) override;
    void didSelectRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) override;

private:
    void reload();

    int m_nTotalChannels = 1;
    std::vector<std::shared_ptr<ChannelSelectionGroup>> m_chArray;
    bool m_bSelectedAll = false;
    uint32_t m_nChannels = 0;
};

}  // namespace lumora
