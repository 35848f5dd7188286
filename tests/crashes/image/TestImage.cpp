// A library that the image registry's tests load and unload.

extern "C" int vekmont_crashes_test_image_function(int value) { return value * 3 + 1; }
