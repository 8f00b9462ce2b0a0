#include "ui/phone/UIChannelSelection.h"

#include "app/core/QvUtility.h"
#include "platform/text/Localization.h"
#include "ui/common/ChannelMask.h"
#include "ui/common/CheckMark.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UINavigationItem.h"

namespace lumora {

UIChannelSelection::UIChannelSelection() {
    m_chArray.push_back(std::make_shared<ChannelSelectionGroup>(0, false));
}

void UIChannelSelection::setTotalChannels(int count, uint32_t mask) {
    m_nTotalChannels = count < 1 ? 1 : count;
    m_chArray.clear();
    for (int i = 0; i < m_nTotalChannels; ++i)
        m_chArray.push_back(std::make_shared<ChannelSelectionGroup>(uint32_t(i), ChannelMask::has(mask, i)));
    m_bSelectedAll = mask == ChannelMask::all(count);
    reload();
}

void UIChannelSelection::setChannel(int channels) {
    m_nChannels = static_cast<uint32_t>(channels);
    reload();
}

void UIChannelSelection::addSelectChannel(int channel) {
    for (auto& g : m_chArray) {
        if (static_cast<int>(g->m_nChannel()) != channel) continue;
        g->setM_bSelected(!g->m_bSelected());
        if (!g->m_bSelected()) m_bSelectedAll = false;
    }
}

void UIChannelSelection::onChannelSelect() {
    m_nChannels = 0;
    for (auto& g : m_chArray)
        if (g->m_bSelected()) m_nChannels = QvUtility::maskForChannel(static_cast<int32_t>(g->m_nChannel()), m_nChannels);
    if (auto d = delegate.lock()) d->onChannelSelect(m_nChannels);
    if (auto* nav = navigationController()) nav->popViewControllerAnimated(true);
}

void UIChannelSelection::viewDidLoad() {
    view()->setFrame(CGRectMake(0, 0, 320, 385));
    setTitle(Localization::string("CHANNELS"));
    navigationItem().setRightBarButtonItem(UIBarButtonItem::withTitle(
        Localization::string("Done"), UIBarButtonItemStyle::Bordered, [this](UIBarButtonItem&) { onChannelSelect(); }));
    setViewName(tableView(), "channelTable");
}

void UIChannelSelection::viewWillAppear(bool animated) {
    UITableViewController::viewWillAppear(animated);
    view()->setFrame(CGRectMake(0, 0, 320, 385));
}

int UIChannelSelection::numberOfRowsInSection(UITableView*, int) {
    return m_nTotalChannels + 1;
}

UITableViewCell* UIChannelSelection::cellForRowAtIndexPath(UITableView* table, const NSIndexPath& indexPath) {
    auto* cell = new UITableViewCell(UITableViewCellStyle::Default, "Cell");
    bool ticked = false;
    if (indexPath.row == 0) {
        cell->textLabel()->setText(Localization::string("All"));
        ticked = m_bSelectedAll;
    } else {
        const auto& g = m_chArray[static_cast<size_t>(indexPath.row - 1)];
        cell->textLabel()->setText(Localization::string("DEVICE_CHANNEL") + ": " +
                                   std::to_string(g->m_nChannel() + 1));
        ticked = g->m_bSelected();
    }
    if (ticked) CheckMark::addTo(cell, view()->bounds().size.width, table ? table->rowHeight : 44);
    return cell;
}

void UIChannelSelection::didSelectRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) {
    if (indexPath.row == 0) {
        for (auto& g : m_chArray) g->setM_bSelected(!m_bSelectedAll);
        m_bSelectedAll = !m_bSelectedAll;
    } else {
        addSelectChannel(indexPath.row - 1);
    }
    reload();
}

void UIChannelSelection::reload() {
    if (isViewLoaded()) tableView()->reloadData();
}

}  // namespace lumora
