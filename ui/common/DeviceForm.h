#pragma once

#include <memory>
#include <optional>
#include <string>

namespace lumora {

class Device;
class QvDeviceManager;

// The fields of a device editor (the phone's editor and the tablet's device
// panel) and the rules both apply when they add or store a device: what is
// refused, how the port and a blank password are read, which channel count
// each channel choice stands for, and that an edit which makes a duplicate
// leaves the stored device exactly as it was. Main thread.
struct DeviceForm {
    int mode = 0;  // 0: reached by UID; 1: by address and port
    std::string name, uid, address, port, user, password;
    int channelNum = 4;
    // Written to the device when set; otherwise the device keeps its flag.
    std::optional<bool> alarm;

    // The port's integer value: leading digits (after blanks and a sign), 0
    // when there are none; saturated so that huge texts stay out of range.
    static long portValue(const std::string& text);
    // A password of blanks only is stored as the empty text.
    static std::string storedPassword(const std::string& typed);
    // Channel choices 0..5 stand for 1, 4, 8, 16, 32 channels and automatic (0).
    static int channelNumForIndex(int index);
    // The choice of a stored count; any other count is "automatic" (5).
    static int indexForChannelNum(int channelNum);
    // The key of the first refusal ("NAME_NULL", "ADDR_NULL", "ERROR_PORT",
    // "UID_NULL"), "" when the form can be stored. Only the exact empty text
    // is refused: blanks pass.
    std::string validationError() const;
    // The message of a duplicate: "DEVICE_Name_Duplicate" for a device
    // reached by address, "DEVICE_EDIT_NAMEERR" otherwise.
    static std::string duplicateMessageKey(const Device& device);
    // A new device with the form's fields; a device reached by address gets
    // the empty UID whatever was typed in the UID field.
    std::shared_ptr<Device> makeDevice() const;
    // Writes the form into a stored device (an address device's UID
    // becomes empty; a UID device keeps its address and port). When the list
    // then holds a duplicate, every field is put back and the answer is false.
    bool applyTo(const std::shared_ptr<Device>& device, const QvDeviceManager& list) const;
};

}  // namespace lumora
