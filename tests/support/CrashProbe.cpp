// A program that faults at once: under the tests' Wine it must end in
// seconds with a failure, never wait in Wine's debugger until the test's
// time-out.
int main()
{
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
