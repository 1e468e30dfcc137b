#pragma once

// What the countdown window is doing.
enum class TimerState : unsigned char {
    Idle = 0,           // nothing; set just before the window closes
    WaitDial = 1,       // waiting for the start time, then dial
    Downloading = 2,    // the batch download runs
    WaitHangUp = 3,     // the download is over, waiting for the end time
    Dialing = 4,        // the dial-up manager sets up a call
    WaitDownload = 5,   // waiting for the start time, then download
    WaitRepeat = 6,     // a repeating run is over, waiting for the next one
};
