// --info: the controller of one drive, identified with the controllers' vendor commands.
#pragma once

// Identifies the controller of drive `letter` and prints its model (the model table's full
// name, or "unknown"), the model code, the USB manufacturer and product strings and the
// flash maker code. Returns 0; when the drive cannot be opened for controller commands,
// writes one line with the reason to standard error and returns 1.
int ShowControllerInfo(char letter);

// The reason a drive cannot be opened for controller commands, for the line
// "Drive E cannot be opened for controller commands: <reason>.".
extern const char* const NotAnAdministrator;  // "not an administrator"
extern const char* const NotElevated;         // "not elevated"
extern const char* const NotASupportedDrive;  // "not a supported drive"
