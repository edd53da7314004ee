// The libusb-1.0 functions libftdi1 (and the ftdi driver) call, answered from the modelled bus.
// Linked into the test executable, these definitions take precedence over the real libusb for
// the shared libftdi1 as well. libftdi1's asynchronous calls are left to the real libusb: nothing
// here makes them.
#include <libusb.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "tests/ftdi_chip/usb_bus.h"

using zemlo::usbdouble::Chip;
using zemlo::usbdouble::DeviceSpec;

struct libusb_context {};

struct libusb_device {
  std::atomic<int> references{1};
  DeviceSpec spec;
  int address = 0;
  std::shared_ptr<Chip> chip;
  std::atomic<bool> kernelDriver{false};
};

struct libusb_device_handle {
  libusb_device* device;
  bool claimed = false;
};

namespace zemlo::usbdouble {
namespace {

std::mutex g_busMutex;
std::vector<libusb_device*> g_devices;
int g_nextAddress = 2;
std::atomic<int> g_openHandles{0};

constexpr uint8_t kSerialIndex = 3;

// Configuration 1 without interface descriptors: libftdi1 then takes the R series' 64-byte
// packets as given.
const libusb_config_descriptor kConfig = [] {
  libusb_config_descriptor config{};
  config.bConfigurationValue = 1;
  return config;
}();

void Unref(libusb_device* device) {
  if (device && --device->references == 0) delete device;
}

}  // namespace

void ClearBus() {
  std::lock_guard lock(g_busMutex);
  for (libusb_device* device : g_devices) Unref(device);
  g_devices.clear();
  g_nextAddress = 2;
}

std::shared_ptr<Chip> Plug(const DeviceSpec& spec) {
  auto* device = new libusb_device;
  device->spec = spec;
  device->kernelDriver = spec.kernelDriver;
  if (spec.withChip) device->chip = std::make_shared<Chip>();
  std::lock_guard lock(g_busMutex);
  device->address = g_nextAddress++;
  g_devices.push_back(device);
  return device->chip;
}

void Unplug(const std::shared_ptr<Chip>& chip) {
  chip->Unplug();
  std::lock_guard lock(g_busMutex);
  std::erase_if(g_devices, [&](libusb_device* device) {
    if (device->chip != chip) return false;
    Unref(device);
    return true;
  });
}

int OpenUsbHandles() {
  return g_openHandles;
}

}  // namespace zemlo::usbdouble

using namespace zemlo::usbdouble;

extern "C" {

int libusb_init(libusb_context** context) {
  if (context) *context = new libusb_context;
  return 0;
}

void libusb_exit(libusb_context* context) {
  delete context;
}

ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
  std::lock_guard lock(g_busMutex);
  auto** devices = new libusb_device*[g_devices.size() + 1];
  for (size_t i = 0; i < g_devices.size(); ++i) {
    devices[i] = g_devices[i];
    ++devices[i]->references;
  }
  devices[g_devices.size()] = nullptr;
  *list = devices;
  return static_cast<ssize_t>(g_devices.size());
}

void libusb_free_device_list(libusb_device** list, int unrefDevices) {
  if (!list) return;
  for (libusb_device** at = list; unrefDevices && *at; ++at) Unref(*at);
  delete[] list;
}

libusb_device* libusb_ref_device(libusb_device* device) {
  ++device->references;
  return device;
}

void libusb_unref_device(libusb_device* device) {
  Unref(device);
}

int libusb_get_device_descriptor(libusb_device* device, libusb_device_descriptor* descriptor) {
  *descriptor = {};
  descriptor->idVendor = 0x0403;
  descriptor->idProduct = device->spec.product;
  descriptor->bcdDevice = 0x0600;  // the R series
  descriptor->iManufacturer = 1;
  descriptor->iProduct = 2;
  descriptor->iSerialNumber = device->spec.serial ? kSerialIndex : 0;
  descriptor->bNumConfigurations = 1;
  return 0;
}

int libusb_get_config_descriptor(libusb_device*, uint8_t index, libusb_config_descriptor** config) {
  if (index != 0) return LIBUSB_ERROR_NOT_FOUND;
  *config = const_cast<libusb_config_descriptor*>(&kConfig);
  return 0;
}

void libusb_free_config_descriptor(libusb_config_descriptor*) {}

uint8_t libusb_get_bus_number(libusb_device*) {
  return 1;
}

uint8_t libusb_get_device_address(libusb_device* device) {
  return static_cast<uint8_t>(device->address);
}

int libusb_open(libusb_device* device, libusb_device_handle** handle) {
  if (device->spec.openError) return device->spec.openError;
  libusb_ref_device(device);
  *handle = new libusb_device_handle{device};
  ++g_openHandles;
  return 0;
}

void libusb_close(libusb_device_handle* handle) {
  if (!handle) return;
  Unref(handle->device);
  delete handle;
  --g_openHandles;
}

int libusb_get_configuration(libusb_device_handle*, int* configuration) {
  *configuration = 1;
  return 0;
}

int libusb_set_configuration(libusb_device_handle*, int) {
  return 0;
}

int libusb_kernel_driver_active(libusb_device_handle* handle, int) {
  return handle->device->kernelDriver ? 1 : 0;
}

int libusb_detach_kernel_driver(libusb_device_handle* handle, int) {
  libusb_device* device = handle->device;
  if (!device->kernelDriver) return LIBUSB_ERROR_NOT_FOUND;
  if (device->spec.kernelDriverStays) {
    errno = EBUSY;
    return LIBUSB_ERROR_OTHER;
  }
  device->kernelDriver = false;
  return 0;
}

int libusb_set_auto_detach_kernel_driver(libusb_device_handle*, int) {
  return 0;
}

int libusb_claim_interface(libusb_device_handle* handle, int) {
  if (handle->device->spec.claimedElsewhere || handle->device->kernelDriver)
    return LIBUSB_ERROR_BUSY;
  handle->claimed = true;
  return 0;
}

int libusb_release_interface(libusb_device_handle* handle, int) {
  handle->claimed = false;
  return 0;
}

int libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                       unsigned char* data, int length) {
  const DeviceSpec& spec = handle->device->spec;
  const std::string text = index == 1                             ? std::string("FTDI")
                           : index == 2                           ? std::string("FT232R USB UART")
                           : index == kSerialIndex && spec.serial ? *spec.serial
                                                                  : std::string();
  if (text.empty()) return LIBUSB_ERROR_PIPE;
  const int size = std::min(length, static_cast<int>(text.size()));
  std::memcpy(data, text.data(), static_cast<size_t>(size));
  return size;
}

int libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                            uint16_t value, uint16_t, unsigned char*, uint16_t length,
                            unsigned int) {
  if (!handle->device->chip) return requestType & LIBUSB_ENDPOINT_IN ? length : 0;
  return handle->device->chip->Control(requestType, request, value);
}

int libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                         int length, int* transferred, unsigned int timeout) {
  *transferred = 0;
  const std::shared_ptr<Chip>& chip = handle->device->chip;
  if (!chip || !handle->claimed) return LIBUSB_ERROR_IO;
  return endpoint & LIBUSB_ENDPOINT_IN ? chip->BulkIn(data, length, transferred, timeout)
                                       : chip->BulkOut(data, length, transferred, timeout);
}

}  // extern "C"
