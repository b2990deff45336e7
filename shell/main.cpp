#include <cstdio>
int main() { std::puts("Trelvo Converter: the window is not built yet."); return 0; }
