// empty_program.cpp: a console program that does nothing, to time Wine's fixed cost of starting one.
int main() { return 0; }
