#include "link/console.h"

#include "link/serial.h"

#include <glib.h>

#include <cstring>

// The prompt wait and the echo test each hold this many bytes.
static const unsigned console_buffer_size = 256;

static const char console_prompt[] = "\r\n> ";
static const unsigned console_prompt_length = 4;

int console_synch_with_device(void)
{
    unsigned char buffer[console_buffer_size];
    unsigned held = 0;
    for (;;) {
        unsigned got = 0;
        if (!serial_read(buffer + held, console_buffer_size - held, &got))
            return 0;
        if (got == 0)
            continue;
        held += got;
        if (held >= console_prompt_length &&
            memcmp(buffer + held - console_prompt_length, console_prompt, console_prompt_length) == 0)
            return 1;
        if (held == console_buffer_size) {
            // Keep only what could still begin a prompt, so the next read
            // has room and the tail test keeps its meaning.
            unsigned keep = console_prompt_length - 1;
            memmove(buffer, buffer + held - keep, keep);
            held = keep;
        }
    }
}

int console_write(const void *bytes, unsigned count)
{
    auto *from = static_cast<const unsigned char *>(bytes);
    unsigned sent = 0;
    do {
        unsigned written = 0;
        if (!serial_write(from + sent, count - sent, &written))
            return 0;
        sent += written;
    } while (sent < count);
    return 1;
}

int console_read(void *buffer, unsigned count)
{
    auto *into = static_cast<unsigned char *>(buffer);
    unsigned held = 0;
    while (held < count) {
        unsigned got = 0;
        if (!serial_read(into + held, count - held, &got))
            return 0;
        held += got;
    }
    return 1;
}

int console_execute_command(const char *text)
{
    if (text == nullptr)
        return 0;
    char *line = g_strdup_printf("%s\r\n", text);
    size_t length = strlen(line);
    int result = 0;
    // The LF is what the device adds in its echo; it is not sent.
    if (length - 1 <= G_MAXUINT && console_write(line, unsigned(length - 1)) && length <= console_buffer_size) {
        unsigned char echo[console_buffer_size];
        if (console_read(echo, unsigned(length)))
            result = memcmp(echo, line, length) == 0;
    }
    g_free(line);
    return result;
}

int console_check_success(void)
{
    unsigned char answer[2];
    if (!console_read(answer, sizeof answer))
        return 0;
    return answer[0] == 'O' && answer[1] == 'K';
}
