// Builds the two records of the game's toast and posts them.
#include "protection/toast.h"

#include "host/natives.h"

namespace {

uint64_t textHandle(const char* text) {
  // 10 asks for a plain string that the game shows as it stands, colour markup included.
  return invokeNative(native::kCreateVarString, 10, "LITERAL_STRING", text);
}

uint64_t nameHash(const char* name) {
  return static_cast<uint32_t>(invokeNative32(native::kGetHashKey, name));
}

}  // namespace

int32_t showToggleToast(const char* message) {
  uint64_t title = textHandle("Quillmere");
  uint64_t text = textHandle(message);
  uint64_t textureSet = nameHash("menu_textures");
  uint64_t icon = nameHash("menu_icon_holster");
  uint64_t iconColour = nameHash("COLOR_WHITE");

  ToastOptions options = {};
  options.slots[0] = 3000;
  options.slots[1] = nativeSlot("HUD_TOASTS");
  options.slots[2] = nativeSlot("Toast_On");

  ToastContent content = {};
  content.slots[1] = title;
  content.slots[2] = text;
  content.slots[4] = textureSet;
  content.slots[5] = icon;
  content.slots[6] = iconColour;

  return invokeNative32(native::kUiFeedPostSampleToast, &options, &content, 1, 1);
}
