// The program of a layer check (Common/CMakeLists.txt): it only has to link.
int main() { return 0; }
