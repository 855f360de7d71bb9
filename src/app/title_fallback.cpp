// Start-up ends by opening the title screen. Until the front end provides it, this
// stand-in lets the program link and run with no task at all.
__attribute__((weak)) int OpenTitleScreen()
{
    return 1;
}
