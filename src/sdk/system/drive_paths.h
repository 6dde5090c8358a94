// Paths named by a drive letter: the volume device path and the root directory.
#pragma once

// A path short enough to live on the stack; `text` is always terminated.
struct DrivePath {
    char text[8];
};

// The volume device path "\\.\X:", which opens the volume itself.
inline DrivePath VolumePathOf(char letter) {
    DrivePath path = {{'\\', '\\', '.', '\\', letter, ':', '\0'}};
    return path;
}

// The root directory "X:\", which the drive-type and volume-information calls take.
inline DrivePath RootPathOf(char letter) {
    DrivePath path = {{letter, ':', '\\', '\0'}};
    return path;
}
