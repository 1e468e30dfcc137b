/* Name mapping of the URL tests, preloaded into the Wine process that runs
 * them: every host name listed in KESTRIN_TEST_HOSTS (comma-separated,
 * any case) resolves to 127.0.0.1; every other name resolves as usual.
 * Built without the C library's headers, so that the 32-bit copy needs
 * no 32-bit development files. */

struct addrinfo;
typedef int (*GetAddrInfoFn)(const char*, const char*, const struct addrinfo*, struct addrinfo**);

extern char* getenv(const char* name);
extern void* dlsym(void* handle, const char* name);
#define NEXT_IN_SEARCH_ORDER ((void*)-1L)

static char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

/* Whether `name` is one of the comma-separated `names`. */
static int IsListed(const char* names, const char* name)
{
    const char* p = names;
    while (*p) {
        const char* n = name;
        while (*p && *p != ',' && *n && Lower(*p) == Lower(*n)) {
            ++p;
            ++n;
        }
        if ((*p == ',' || *p == '\0') && *n == '\0')
            return 1;
        while (*p && *p != ',')
            ++p;
        if (*p == ',')
            ++p;
    }
    return 0;
}

int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                struct addrinfo** result)
{
    static GetAddrInfoFn next;
    const char* names = getenv("KESTRIN_TEST_HOSTS");
    if (!next)
        next = (GetAddrInfoFn)dlsym(NEXT_IN_SEARCH_ORDER, "getaddrinfo");
    if (node && names && IsListed(names, node))
        node = "127.0.0.1";
    return next(node, service, hints, result);
}
