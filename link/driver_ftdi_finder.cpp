#include "link/driver_ftdi_finder.h"

#include <ftdi.h>
#include <grp.h>
#include <libusb.h>
#include <pwd.h>
#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace zemlo {
namespace {

constexpr char kPermissionAdvice[] =
    "Install the adapter's udev rule (tools/install-udev-rule, or copy packaging/70-zemlo.rules "
    "to /etc/udev/rules.d), run `sudo udevadm control --reload-rules && sudo udevadm trigger` "
    "and plug the adapter in again; or add your user to the plugdev group "
    "(`sudo usermod -aG plugdev $USER`) and log in again.";

std::mutex g_nodeRootMutex;
std::string g_nodeRoot = "/dev/bus/usb";

struct ErrorName {
  int code;
  const char* text;
};
constexpr std::array<ErrorName, 6> kUsbErrors = {{
    {LIBUSB_ERROR_ACCESS, "access denied"},
    {LIBUSB_ERROR_BUSY, "busy"},
    {LIBUSB_ERROR_NO_DEVICE, "unplugged"},
    {LIBUSB_ERROR_NOT_FOUND, "not found"},
    {LIBUSB_ERROR_IO, "I/O error"},
    {LIBUSB_ERROR_PIPE, "stalled"},
}};

std::string UsbErrorText(int code) {
  for (const ErrorName& error : kUsbErrors) {
    if (error.code == code) return error.text;
  }
  return "libusb error " + std::to_string(code);
}

// What a look at one device found.
struct SeenDevice {
  std::string node;
  uint16_t product = 0;
  std::optional<std::string> serial;  // empty when the device has none
  int error = 0;                      // libusb's, when it could not be opened or read
  bool kernelDriver = false;          // a kernel driver (ftdi_sio) is bound to it
};

std::string NodePath(libusb_device* device) {
  std::lock_guard lock(g_nodeRootMutex);
  char tail[16];
  std::snprintf(tail, sizeof tail, "/%03u/%03u", libusb_get_bus_number(device),
                libusb_get_device_address(device));
  return g_nodeRoot + tail;
}

std::string NodeOwnership(const std::string& node) {
  struct stat info {};
  if (::stat(node.c_str(), &info) != 0) return node;
  std::array<char, 1024> scratch{};
  passwd user{};
  passwd* userFound = nullptr;
  group grp{};
  group* groupFound = nullptr;
  ::getpwuid_r(info.st_uid, &user, scratch.data(), scratch.size() / 2, &userFound);
  ::getgrgid_r(info.st_gid, &grp, scratch.data() + scratch.size() / 2, scratch.size() / 2,
               &groupFound);
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
  return node + " (owner " + (userFound ? std::string(user.pw_name) : std::to_string(info.st_uid)) +
         ", group " + (groupFound ? std::string(grp.gr_name) : std::to_string(info.st_gid)) +
         ", mode " + mode + ")";
}

SeenDevice Look(libusb_device* device) {
  SeenDevice seen;
  seen.node = NodePath(device);
  libusb_device_descriptor descriptor{};
  if (const int rc = libusb_get_device_descriptor(device, &descriptor); rc < 0) {
    seen.error = rc;
    return seen;
  }
  seen.product = descriptor.idProduct;
  libusb_device_handle* handle = nullptr;
  if (const int rc = libusb_open(device, &handle); rc < 0) {
    seen.error = rc;
    return seen;
  }
  if (descriptor.iSerialNumber != 0) {
    unsigned char text[128] = {};
    const int length =
        libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber, text, sizeof text - 1);
    if (length < 0) {
      seen.error = length;
    } else {
      seen.serial.emplace(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
    }
  }
  seen.kernelDriver = libusb_kernel_driver_active(handle, 0) == 1;
  libusb_close(handle);
  return seen;
}

std::string Describe(const SeenDevice& seen) {
  char id[16];
  std::snprintf(id, sizeof id, "0403:%04x", seen.product);
  std::string text = std::string(id) + " at " + seen.node;
  if (seen.error) return text + " (could not be read: " + UsbErrorText(seen.error) + ")";
  return text + (seen.serial ? " serial \"" + *seen.serial + "\"" : " without a serial number");
}

std::string NotFound(const std::string& serial, const std::vector<SeenDevice>& seen) {
  for (const SeenDevice& device : seen) {
    if (device.error == LIBUSB_ERROR_ACCESS) {
      return "Permission denied opening " + NodeOwnership(device.node) +
             ", so its serial number cannot be read. " + kPermissionAdvice;
    }
  }
  if (seen.empty()) return "No FTDI device is connected. Check the adapter's USB cable.";
  std::string text = "No adapter with serial number \"" + serial + "\" found. FTDI devices seen:";
  for (const SeenDevice& device : seen) text += "\n  " + Describe(device);
  return text;
}

std::string OpenFailed(int rc, ftdi_context* context, const SeenDevice& adapter) {
  if ((rc == -5 || rc == -8 || rc == -3) && adapter.kernelDriver) {
    return "The kernel driver ftdi_sio holds the adapter at " + adapter.node +
           " and could not be detached (" + ftdi_get_error_string(context) +
           "). Unload it with `sudo rmmod ftdi_sio`, or use --adapter d2xx.";
  }
  if (rc == -5 || rc == -3) {
    return "The adapter at " + adapter.node +
           " is in use by another program. Close that program (another zemlo, a terminal "
           "program) and connect again.";
  }
  if (rc == -4 || rc == -8) {
    return "Permission denied opening " + NodeOwnership(adapter.node) + ". " + kPermissionAdvice;
  }
  return std::string("libftdi1 could not open the adapter at ") + adapter.node + ": " +
         ftdi_get_error_string(context);
}

struct ListFree {
  void operator()(ftdi_device_list* list) const { ftdi_list_free(&list); }
};

}  // namespace

void SetUsbDeviceNodeRoot(std::string root) {
  std::lock_guard lock(g_nodeRootMutex);
  g_nodeRoot = std::move(root);
}

FtdiOpenResult OpenFtdiBySerial(ftdi_context* context, const std::string& serial) {
  ftdi_device_list* first = nullptr;
  // Vendor and product 0: every product ID libftdi1 knows for FTDI's chips.
  const int count = ftdi_usb_find_all(context, &first, 0, 0);
  std::unique_ptr<ftdi_device_list, ListFree> list(first);
  if (count < 0) {
    return {false,
            std::string("USB devices could not be listed: ") + ftdi_get_error_string(context)};
  }
  std::vector<SeenDevice> seen;
  for (ftdi_device_list* entry = first; entry; entry = entry->next) {
    seen.push_back(Look(entry->dev));
    if (seen.back().serial == serial && seen.back().error == 0) {
      const int rc = ftdi_usb_open_dev(context, entry->dev);
      if (rc == 0) return {true, {}};
      return {false, OpenFailed(rc, context, seen.back())};
    }
  }
  return {false, NotFound(serial, seen)};
}

}  // namespace zemlo
