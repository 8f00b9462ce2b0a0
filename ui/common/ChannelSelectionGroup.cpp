#include "ui/common/ChannelSelectionGroup.h"
