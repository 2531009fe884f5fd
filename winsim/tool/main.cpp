#include <cstdio>
int main() { std::puts("winsim"); return 0; }
