// Value-to-text procedures for the editor's numeric displays. Each writes the
// text for a parameter value and returns true; text holds at least 8 bytes.
#pragma once

bool Fine(float value, char* text, void* userData);               // -100..+100
bool Bend(float value, char* text, void* userData);               // 1..12 semitones
bool ParDisplayIntShow(float value, char* text, void* userData);  // whole part
bool Root(float value, char* text, void* userData);               // C..B
bool DroneRoot(float value, char* text, void* userData);          // G..F# around C
