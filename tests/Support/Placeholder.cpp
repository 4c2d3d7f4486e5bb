// Keeps the support library non-empty until fakes arrive.
namespace zen::testsupport { int placeholder() { return 0; } }
