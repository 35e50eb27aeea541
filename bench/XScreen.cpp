#include "XScreen.h"

#include <sys/uio.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

template <typename T>
using TReply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
TReply<T> Own(T* reply) {
  return TReply<T>(reply, &std::free);
}

// XTEST FakeInput (minor opcode 2), laid out as the protocol has it; the library of the
// extension is not needed for one request.
xcb_extension_t xtestExtension = {"XTEST", 0};
struct TFakeInputRequest {
  uint8_t majorOpcode, minorOpcode;
  uint16_t length;
  uint8_t type, detail, pad0[2];
  uint32_t time, root;
  uint8_t pad1[8];
  int16_t rootX, rootY;
  uint8_t pad2[7], deviceId;
};
static_assert(sizeof(TFakeInputRequest) == 36);

}  // namespace

TXScreen::TXScreen() {
  int screenNumber = 0;
  connection_ = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(connection_)) {
    xcb_disconnect(connection_);
    throw std::runtime_error("cannot connect to the X display");
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
  root_ = screens.data->root;
  const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection_, &xtestExtension);
  if (xtest == nullptr || !xtest->present) {
    xcb_disconnect(connection_);
    throw std::runtime_error("the X server has no XTEST extension");
  }
}

TXScreen::~TXScreen() {
  xcb_disconnect(connection_);
}

uint32_t TXScreen::Atom(const char* name) {
  const auto reply = Own(xcb_intern_atom_reply(
      connection_, xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name),
      nullptr));
  return reply ? reply->atom : static_cast<uint32_t>(XCB_ATOM_NONE);
}

uint32_t TXScreen::FindWindow(pid_t pid, const std::string& titlePrefix) {
  const uint32_t clientList = Atom("_NET_CLIENT_LIST"), wmPid = Atom("_NET_WM_PID"),
                 wmName = Atom("_NET_WM_NAME"), utf8 = Atom("UTF8_STRING");
  const auto clients = Own(xcb_get_property_reply(
      connection_, xcb_get_property(connection_, 0, root_, clientList, XCB_ATOM_WINDOW, 0, 4096),
      nullptr));
  if (!clients) return 0;
  const auto* windows = static_cast<const uint32_t*>(xcb_get_property_value(clients.get()));
  const int count = xcb_get_property_value_length(clients.get()) / 4;
  for (int i = 0; i < count; ++i) {
    const auto owner = Own(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, windows[i], wmPid, XCB_ATOM_CARDINAL, 0, 1),
        nullptr));
    if (!owner || xcb_get_property_value_length(owner.get()) != 4 ||
        *static_cast<const uint32_t*>(xcb_get_property_value(owner.get())) !=
            static_cast<uint32_t>(pid)) {
      continue;
    }
    const auto name = Own(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, windows[i], wmName, utf8, 0, 256), nullptr));
    if (!name) continue;
    const std::string title(static_cast<const char*>(xcb_get_property_value(name.get())),
                            static_cast<std::size_t>(xcb_get_property_value_length(name.get())));
    if (title.rfind(titlePrefix, 0) == 0) return windows[i];
  }
  return 0;
}

TXScreen::TPoint TXScreen::Origin(uint32_t window) {
  const auto reply = Own(xcb_translate_coordinates_reply(
      connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0), nullptr));
  if (!reply) throw std::runtime_error("the window is gone");
  return {reply->dst_x, reply->dst_y};
}

void TXScreen::FakeInput(uint8_t type, uint8_t detail, TPoint at) {
  TFakeInputRequest request{};
  request.type = type;
  request.detail = detail;
  request.root = root_;
  request.rootX = static_cast<int16_t>(at.x);
  request.rootY = static_cast<int16_t>(at.y);
  iovec parts[4];
  parts[2].iov_base = &request;
  parts[2].iov_len = sizeof request;
  parts[3].iov_base = nullptr;
  parts[3].iov_len = 0;
  const xcb_protocol_request_t header = {2, &xtestExtension, 2, 1};
  xcb_send_request(connection_, 0, parts + 2, &header);
}

void TXScreen::MovePointer(TPoint at) {
  FakeInput(XCB_MOTION_NOTIFY, 0, at);
  // A round trip: the server has moved the pointer when it answers.
  std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void TXScreen::Click() {
  FakeInput(XCB_BUTTON_PRESS, 1, {});
  FakeInput(XCB_BUTTON_RELEASE, 1, {});
  xcb_flush(connection_);
}

std::vector<uint8_t> TXScreen::Grab(TPoint at, int width, int height) {
  const auto image = Own(xcb_get_image_reply(
      connection_,
      xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, static_cast<int16_t>(at.x),
                    static_cast<int16_t>(at.y), static_cast<uint16_t>(width),
                    static_cast<uint16_t>(height), ~0u),
      nullptr));
  if (!image) return {};
  const uint8_t* data = xcb_get_image_data(image.get());
  return {data, data + xcb_get_image_data_length(image.get())};
}
