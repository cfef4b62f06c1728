#pragma once
// "Go to jack...": asks for a jack's number and puts the keyboard's focus on that jack, for a person who
// would rather type the number into a box than on the panel. GUI thread only.

namespace voltina {

class SynthPanel;

// A number that names no jack is said, and the box opens again with it, so nothing typed is lost;
// Cancel leaves the focus where it was.
void askForJack(SynthPanel& panel);

}  // namespace voltina
