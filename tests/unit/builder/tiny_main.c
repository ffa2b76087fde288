/* A minimal Windows program for the PE resource tests; it is never run. */
int main(void) { return 0; }
