#include "session/json.hpp"

#include "names/names.hpp"
#include "platform/platform.hpp"
#include "session/plan.hpp"

namespace varnholt {

static void print_text(std::FILE* out, const char* key, const char* text)
{
	print(out, ", \"%s\": ", key);
	print_json_name(out, text);
}

void json_recording(std::FILE* out, const char* path, int count, int main, const char* outcome,
                    const Look* look)
{
	print(out, "{\"path\": ");
	print_json_name(out, path);
	print(out, ", \"tracks\": %d, \"main\": %d", count, main);
	if (outcome != nullptr)
		print_text(out, "outcome", outcome);
	if (look != nullptr)
		print_text(out, "error", reason(*look));
	print(out, "}\n");
}

void json_undone(std::FILE* out, const char* path, int main, const char* outcome, const char* error)
{
	print(out, "{\"path\": ");
	print_json_name(out, path);
	print(out, ", \"main\": %d", main);
	print_text(out, "outcome", outcome);
	if (error != nullptr)
		print_text(out, "error", error);
	print(out, "}\n");
}

void json_problem(std::FILE* out, const char* path, int error)
{
	print(out, "{\"path\": ");
	print_json_name(out, path);
	print_text(out, "error", reason(Look{Outcome::cannot_open, 0, 0, error, 0}));
	print(out, "}\n");
}

void json_counts(std::FILE* out, const char* const* names, const unsigned long* counts, int pairs,
                 bool dry_run)
{
	for (int i = 0; i < pairs; i++)
		print(out, "%s\"%s\": %lu", i == 0 ? "{" : ", ", names[i], counts[i]);
	print(out, "%s}\n", dry_run ? ", \"dry_run\": true" : "");
}

} // namespace varnholt
