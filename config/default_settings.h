// The content a missing settings file is created with: the literals are written one after another,
// with nothing between them, and each "\n" goes to disk as CR LF.
#pragma once

inline constexpr const char* kDefaultContent[] = {
    "# Thank you for downloading Quillmere!\n\n",
    "# You can change what key you want to use to toggle this script below.\n",
    "# Check the readme file that comes with this script for a list of available keys.\n",
    "# IMPORTANT: If the 'enabled' option below is set to false, the keybind will be disabled and "
    "the script will always remain active.\n",
    "# Please endorse this script on Ardentine and give me your kudos if you're enjoying it. It "
    "would mean a lot!\n",
    "# This config updates live. You don't need to restart your game for changes to apply!\n\n",
    "[Keybind]\n",
    "enabled=true\n",
    "toggle-key=VK_F3\n\n",
    "[Optional]\n",
    "# If set to true, the hats of all NPCs will be protected from getting knocked off, until they "
    "die and hit the ground. This may cause the game to softlock during some missions or events. "
    "Set to false by default.\n",
    "affect-all-peds=false",
};
