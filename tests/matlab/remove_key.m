function remove_key(key)
%REMOVE_KEY  Deletes HKCU\KEY with everything below it, through reg: a test's cleanup.
[~, ~] = system(['reg delete "HKCU\' key '" /f 2>&1']);
end
