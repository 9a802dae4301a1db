// The stand-in host's own cost on the paths a path plug-in takes per name: one mxMalloc and
// mxFree, one mxCreateCharArray_700, one mxSetCell_700; and the fixed cost of a call.
#include <benchmark/benchmark.h>

#include <cstring>

#include "mexhost.h"

const int kNameUnits = 30;

// Per element of the input cell: what the path plug-in asks of the host for one name.
static void name_path(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    int count = (int)mxGetNumberOfElements(prhs[0]);
    plhs[0] = mxCreateCellArray_700(mxGetNumberOfDimensions_700(prhs[0]), mxGetDimensions_700(prhs[0]));
    for (int i = count - 1; i >= 0; --i) {
        const mxArray *name = mxGetCell_700(prhs[0], i);
        mxChar *work = (mxChar *)mxMalloc((kNameUnits + 1) * sizeof(mxChar));
        std::memcpy(work, mxGetData(name), kNameUnits * sizeof(mxChar));
        int dims[2] = {1, kNameUnits};
        mxArray *row = mxCreateCharArray_700(2, dims);
        std::memcpy(mxGetData(row), work, kNameUnits * sizeof(mxChar));
        mxFree(work);
        mxSetCell_700(plhs[0], i, row);
    }
}

static void malloc_free(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    int count = (int)mxGetPr(prhs[0])[0];
    for (int i = 0; i < count; ++i) mxFree(mxMalloc(64));
    plhs[0] = mxCreateDoubleScalar(count);
}

static void nothing(int, mxArray *[], int, const mxArray *[]) {}

static mxArray *names(int count)
{
    std::vector<mxArray *> elements;
    for (int i = 0; i < count; ++i) elements.push_back(mexhost::make_char(std::u16string(kNameUnits, u'a')));
    return mexhost::make_cell({1, count}, elements);
}

static void BM_NamePath(benchmark::State &state)
{
    int count = (int)state.range(0);
    mxArray *input = names(count);
    for (auto _ : state) {
        mexhost::CallResult result = mexhost::call(name_path, "name_path", {input});
        if (!result.ok || result.leaked_blocks != 0) state.SkipWithError("the call failed or leaked");
    }
    state.SetItemsProcessed(state.iterations() * count);
    mexhost::destroy(input);
}
BENCHMARK(BM_NamePath)->Arg(1)->Arg(1000)->Arg(100000);

// The same without checksumming the input around the call.
static void BM_NamePathUnchecked(benchmark::State &state)
{
    int count = (int)state.range(0);
    mxArray *input = names(count);
    mexhost::CallOptions options;
    options.check_inputs = false;
    for (auto _ : state) benchmark::DoNotOptimize(mexhost::call(name_path, "name_path", {input}, options).ok);
    state.SetItemsProcessed(state.iterations() * count);
    mexhost::destroy(input);
}
BENCHMARK(BM_NamePathUnchecked)->Arg(100000);

static void BM_MallocFree(benchmark::State &state)
{
    mxArray *count = mexhost::make_double({100000});
    for (auto _ : state) benchmark::DoNotOptimize(mexhost::call(malloc_free, "malloc_free", {count}).ok);
    state.SetItemsProcessed(state.iterations() * 100000);
    mexhost::destroy(count);
}
BENCHMARK(BM_MallocFree);

static void BM_EmptyCall(benchmark::State &state)
{
    mxArray *input = mexhost::make_char(u"C:\\Temp\\x");
    mexhost::CallOptions options;
    options.nlhs = 0;
    for (auto _ : state) benchmark::DoNotOptimize(mexhost::call(nothing, "nothing", {input}, options).ok);
    mexhost::destroy(input);
}
BENCHMARK(BM_EmptyCall);

BENCHMARK_MAIN();
