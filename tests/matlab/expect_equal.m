function expect_equal(actual, expected, what)
%EXPECT_EQUAL  Fail with both values shown when ACTUAL differs from EXPECTED.
%   expect_equal(actual, expected, what): WHAT names the case in the failure.
if isequal(class(actual), class(expected)) && isequal(size(actual), size(expected)) ...
        && isequal(actual, expected)
    return;
end
error('expect_equal:differ', '%s:\n  expected %s\n  actual   %s', what, shown(expected), shown(actual));
end

function text = shown(value)
if ischar(value) && size(value, 1) <= 1
    text = ['''' value ''' (' class(value) ' ' dims(value) ')'];
elseif iscell(value)
    parts = cellfun(@shown, value, 'UniformOutput', false);
    text = ['{' strjoin(parts(:)', ', ') '} (cell ' dims(value) ')'];
else
    text = [mat2str(value) ' (' class(value) ')'];
end
end

function text = dims(value)
text = regexprep(sprintf('%dx', size(value)), 'x$', '');
end
